// SPDX-License-Identifier: MIT
#include "toolkit/qt/push_button.h"

#include <QKeyEvent>

namespace pelmora::toolkit::qt {

QtPushButton::QtPushButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
  setAutoDefault(false);
  setDefault(false);
}

void QtPushButton::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    // One press per press of the key, not one per repeat while it is held.
    if (!event->isAutoRepeat()) click();
    event->accept();
    return;
  }
  QPushButton::keyPressEvent(event);
}

}  // namespace pelmora::toolkit::qt
