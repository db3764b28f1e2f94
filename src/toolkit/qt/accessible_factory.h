// SPDX-License-Identifier: MIT
#pragma once

namespace pelmora::toolkit::qt {

// Gives the toolkit's own controls the accessible interfaces that tell
// assistive tools what they show: the list (ListViewAccessible), the scroll
// bar's value in its unit, the drawing area as a chart with its
// description, and announcements. Installed once, by the first of those
// controls made, before Qt is asked for any of their interfaces.
void InstallAccessibleFactory();

}  // namespace pelmora::toolkit::qt
