// SPDX-License-Identifier: MIT
#include "toolkit/qt/announcement.h"

#include <QAccessible>
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include "toolkit/qt/accessible_factory.h"

namespace pelmora::toolkit::qt {

QtAnnouncement::QtAnnouncement(QObject* parent) : QObject(parent) { InstallAccessibleFactory(); }

void QtAnnouncement::Announce(const QString& message) {
  message_ = message;
  if (!QAccessible::isActive()) return;
  QWidget* window = qobject_cast<QWidget*>(parent());
  if (window) window = window->window();
  if (window && (!window->isActiveWindow() || QApplication::activeModalWidget())) {
    pending_ = true;
    if (!watching_) window->installEventFilter(this);
    watching_ = true;
    return;
  }
  Tell();
}

bool QtAnnouncement::eventFilter(QObject* watched, QEvent* event) {
  // The focus comes back to the window after its activation, in the same
  // round of events: the message follows both.
  if (pending_ && event->type() == QEvent::WindowActivate) {
    pending_ = false;
    QTimer::singleShot(0, this, &QtAnnouncement::Tell);
  }
  return QObject::eventFilter(watched, event);
}

void QtAnnouncement::Tell() {
  if (message_.isEmpty() || !QAccessible::isActive()) return;
  // The new name first, so that a tool that kept the old one reads this.
  QAccessibleEvent renamed(this, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&renamed);
  QAccessibleEvent shown(this, QAccessible::ObjectShow);
  QAccessible::updateAccessibility(&shown);
}

}  // namespace pelmora::toolkit::qt
