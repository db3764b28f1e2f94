// SPDX-License-Identifier: MIT
#include "toolkit/qt/message_box.h"

#include <QPushButton>
#include <QString>

#include "toolkit/runtime_error.h"

namespace pelmora::toolkit::qt {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::Icon IconOf(int style) {
  switch (style & 0x70) {
    case 0:
      return QMessageBox::NoIcon;
    case 16:
      return QMessageBox::Critical;
    case 32:
      return QMessageBox::Question;
    case 48:
      return QMessageBox::Warning;
    case 64:
      return QMessageBox::Information;
    default:
      throw RuntimeError("invalid message box style");
  }
}

}  // namespace

int QtMessageBox::MsgBox(std::string_view prompt, int style, std::string_view title) {
  const int buttons = style & 0x0F;
  if (style < 0 || style > 0x7F || buttons > 1) throw RuntimeError("invalid message box style");
  QMessageBox box(IconOf(style), ToQString(title), ToQString(prompt), QMessageBox::NoButton,
                  parent_);
  // The prompt may hold a process's name, which anyone can choose: it is
  // shown as it is, never taken for rich text.
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  // The captions are set here rather than left to the platform theme, which
  // would show them in English (or, on some desktops, with mnemonics).
  QPushButton* ok = box.addButton(QMessageBox::Ok);
  ok->setText(QStringLiteral("OK"));
  QPushButton* cancel = nullptr;
  if (buttons == 1) {
    cancel = box.addButton(QMessageBox::Cancel);
    cancel->setText(QString::fromUtf8("キャンセル"));
    box.setEscapeButton(cancel);
  } else {
    box.setEscapeButton(ok);
  }
  box.setDefaultButton(ok);
  Show(box);
  if (cancel == nullptr) return kIdOk;
  return box.clickedButton() == ok ? kIdOk : kIdCancel;
}

void QtMessageBox::Show(QMessageBox& box) { box.exec(); }

QtMessageBox::~QtMessageBox() {
  if (ownsAnnouncement_) delete announcement_.data();
}

QtAnnouncement* QtMessageBox::Announcement() {
  if (!announcement_) {
    announcement_ = new QtAnnouncement(parent_);
    ownsAnnouncement_ = parent_ == nullptr;
  }
  return announcement_;
}

void QtMessageBox::Announce(std::string_view message) {
  Announcement()->Announce(ToQString(message));
}

}  // namespace pelmora::toolkit::qt
