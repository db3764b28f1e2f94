// SPDX-License-Identifier: MIT
#pragma once
#include <QObject>
#include <QString>

namespace pelmora::toolkit::qt {

// A message for assistive tools alone: nothing shows on the screen. Screen
// readers meet it as a notification of its parent window that comes into
// view with each message, and read it out as it comes. A message given
// while the window is not active (a message box just closed over it) is
// told once the window is active again and its focus is back, so that a
// screen reader's word of the focus does not cut it short.
class QtAnnouncement : public QObject {
  Q_OBJECT
 public:
  explicit QtAnnouncement(QObject* parent = nullptr);

  void Announce(const QString& message);
  // The last message; empty before the first.
  const QString& Message() const { return message_; }
  // True while a message waits for the window to be active.
  bool Pending() const { return pending_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Tell();

  QString message_;
  bool pending_ = false;
  bool watching_ = false;
};

}  // namespace pelmora::toolkit::qt
