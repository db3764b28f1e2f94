// SPDX-License-Identifier: MIT
#pragma once
#include <QPushButton>
#include <QString>

namespace pelmora::toolkit::qt {

// A push button that, when it has the focus, Enter and the keypad's Enter
// press as Space does. It is never a window's default button.
class QtPushButton : public QPushButton {
  Q_OBJECT
 public:
  QtPushButton(const QString& text, QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace pelmora::toolkit::qt
