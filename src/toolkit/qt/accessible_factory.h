// SPDX-License-Identifier: MIT
#pragma once

class QObject;

namespace pelmora::toolkit::qt {

// Gives the toolkit's own controls the accessible interfaces that tell
// assistive tools what they show: the list (ListViewAccessible), the scroll
// bar's value in its unit, the drawing area as a chart with its
// description, and announcements. Installed once, by the first of those
// controls made, before Qt is asked for any of their interfaces.
void InstallAccessibleFactory();

// Lets go of an interface Qt made for `object` while it was being built,
// so that the next query makes it by the factories installed now. Qt 6.8
// makes and keeps an object's interface at its first accessibility event
// (a title, a name or a value set in a constructor), even with no assistive
// tool listening; while a base class is being built, that is the base's
// plain interface. Called at the end of the constructors whose objects have
// interfaces of their own.
void RenewAccessibleInterface(QObject* object);

}  // namespace pelmora::toolkit::qt
