// SPDX-License-Identifier: MIT
#include "toolkit/message_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "qt/answerer.h"
#include "toolkit/qt/message_box.h"
#include "toolkit/runtime_error.h"

namespace pelmora::toolkit::qt {
namespace {

using fakes::Answerer;
using fakes::Seen;

void Click(QMessageBox& box, QMessageBox::StandardButton which) { box.button(which)->click(); }

TEST(MessageBox, OkCancelStyleShowsAWarningWithOkTheDefault) {
  QtMessageBox messages;
  Answerer answerer([](QMessageBox& box) { Click(box, QMessageBox::Cancel); });
  // A process may be named like markup: the prompt stays plain text.
  const char* prompt = "<b>/tmp/x</b> を終了しますか?";
  const int answer = messages.MsgBox(prompt, kMbOkCancelExclamation, "Pelmora 確認");
  const Seen& seen = answerer.seen;
  ASSERT_TRUE(seen.shown);
  EXPECT_TRUE(seen.modal);
  EXPECT_EQ(seen.title, QString::fromUtf8("Pelmora 確認"));
  EXPECT_EQ(seen.text, QString::fromUtf8(prompt));
  EXPECT_EQ(seen.textFormat, Qt::PlainText);
  EXPECT_EQ(seen.icon, QMessageBox::Warning);
  EXPECT_EQ(seen.buttons, QMessageBox::Ok | QMessageBox::Cancel);
  EXPECT_EQ(seen.okText, QString("OK"));
  EXPECT_EQ(seen.cancelText, QString::fromUtf8("キャンセル"));
  EXPECT_EQ(seen.defaultButton, QMessageBox::Ok);
  EXPECT_EQ(seen.escapeButton, QMessageBox::Cancel);
  EXPECT_EQ(answer, kIdCancel);
}

TEST(MessageBox, OkCancelAnswers) {
  struct Case {
    const char* what;
    std::function<void(QMessageBox&)> act;
    int expected;
  };
  const Case cases[] = {
      {"OK clicked", [](QMessageBox& box) { Click(box, QMessageBox::Ok); }, kIdOk},
      {"Cancel clicked", [](QMessageBox& box) { Click(box, QMessageBox::Cancel); }, kIdCancel},
      {"Enter", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }, kIdOk},
      {"Escape", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, kIdCancel},
      {"closed", [](QMessageBox& box) { box.close(); }, kIdCancel},
  };
  QtMessageBox messages;
  for (const Case& c : cases) {
    Answerer answerer(c.act);
    EXPECT_EQ(messages.MsgBox("?", kMbOkCancelExclamation, "t"), c.expected) << c.what;
    EXPECT_TRUE(answerer.seen.shown) << c.what;
  }
}

TEST(MessageBox, OkStyleHasOnlyOk) {
  QtMessageBox messages;
  for (auto act :
       {std::function<void(QMessageBox&)>([](QMessageBox& box) { Click(box, QMessageBox::Ok); }),
        std::function<void(QMessageBox&)>(
            [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); })}) {
    Answerer answerer(act);
    const Seen& seen = answerer.seen;
    EXPECT_EQ(messages.MsgBox("すでに起動しています。", kMbOkExclamation, "Pelmora 二重起動エラー"),
              kIdOk);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    EXPECT_EQ(seen.okText, QString("OK"));
  }
}

TEST(MessageBox, UnknownStylesAreRunTimeErrors) {
  QtMessageBox messages;
  EXPECT_THROW(messages.MsgBox("x", 51, "t"), RuntimeError);  // yes/no/cancel: not offered
  EXPECT_THROW(messages.MsgBox("x", 0x80, "t"), RuntimeError);
  EXPECT_THROW(messages.MsgBox("x", -1, "t"), RuntimeError);
}

}  // namespace
}  // namespace pelmora::toolkit::qt
