// SPDX-License-Identifier: MIT
#pragma once
#include <QMessageBox>
#include <QPointer>
#include <string_view>

#include "toolkit/message_box.h"
#include "toolkit/qt/announcement.h"

class QWidget;

namespace pelmora::toolkit::qt {

// Modal message boxes. The low digit of the style picks the buttons (0 OK,
// 1 OK and Cancel with OK the default), the tens the icon (16 critical,
// 32 question, 48 exclamation, 64 information). The buttons read "OK" and
// "キャンセル" whatever the desktop's theme. Escape or closing a box with a
// Cancel button answers Cancel.
//
// Announcements go to assistive tools as notifications of the parent
// window (QtAnnouncement, a child of it).
class QtMessageBox : public toolkit::MessageBox {
 public:
  explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}
  ~QtMessageBox() override;

  int MsgBox(std::string_view prompt, int style, std::string_view title) override;
  void Announce(std::string_view message) override;
  // The announcement object; made at the first announcement.
  QtAnnouncement* Announcement();

 protected:
  // Shows the prepared box modally and returns when it is answered.
  virtual void Show(QMessageBox& box);

 private:
  QWidget* parent_;
  QPointer<QtAnnouncement> announcement_;  // the parent's child, or ours without one
  bool ownsAnnouncement_ = false;
};

}  // namespace pelmora::toolkit::qt
