// SPDX-License-Identifier: MIT
#include "toolkit/qt/scroll_bar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

namespace pelmora::toolkit::qt {
namespace {

// Exposes where the style puts the bar's parts.
class ProbedScrollBar : public QtScrollBar {
 public:
  QPoint Centre(QStyle::SubControl part) {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ScrollBar, &option, part, this).center();
  }
};

class ScrollBarTest : public ::testing::Test {
 protected:
  ScrollBarTest() {
    bar_.setRange(1, 20);
    bar_.setSingleStep(1);
    bar_.setPageStep(1);
    bar_.setValue(5);
    bar_.setGeometry(0, 0, 85, 17);
    bar_.show();
    QObject::connect(&bar_, &QtScrollBar::Change, [this] { ++changes_; });
  }

  void Click(QStyle::SubControl part) {
    QTest::mouseClick(&bar_, Qt::LeftButton, Qt::NoModifier, bar_.Centre(part));
  }
  void SendMouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, bar_.mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(&bar_, &event);
  }

  ProbedScrollBar bar_;
  int changes_ = 0;
};

TEST_F(ScrollBarTest, ArrowsAndTroughStepByOneWithOneChangeEach) {
  struct Step {
    QStyle::SubControl part;
    int expected;
  };
  const Step steps[] = {
      {QStyle::SC_ScrollBarAddLine, 6},
      {QStyle::SC_ScrollBarSubLine, 5},
      {QStyle::SC_ScrollBarAddPage, 6},
      {QStyle::SC_ScrollBarSubPage, 5},
  };
  for (const Step& step : steps) {
    changes_ = 0;
    Click(step.part);
    EXPECT_EQ(bar_.Value(), step.expected) << "part " << step.part;
    EXPECT_EQ(changes_, 1) << "part " << step.part;
  }
}

TEST_F(ScrollBarTest, CannotLeaveItsRange) {
  bar_.setValue(20);
  changes_ = 0;
  Click(QStyle::SC_ScrollBarAddLine);
  QTest::keyClick(&bar_, Qt::Key_Right);
  QTest::keyClick(&bar_, Qt::Key_End);
  EXPECT_EQ(bar_.Value(), 20);
  EXPECT_EQ(changes_, 0);

  bar_.setValue(1);
  changes_ = 0;
  Click(QStyle::SC_ScrollBarSubLine);
  QTest::keyClick(&bar_, Qt::Key_Left);
  QTest::keyClick(&bar_, Qt::Key_Home);
  EXPECT_EQ(bar_.Value(), 1);
  EXPECT_EQ(changes_, 0);
}

TEST_F(ScrollBarTest, KeyboardStepsRaiseChange) {
  QTest::keyClick(&bar_, Qt::Key_Right);
  EXPECT_EQ(bar_.Value(), 6);
  EXPECT_EQ(changes_, 1);
  QTest::keyClick(&bar_, Qt::Key_Left);
  QTest::keyClick(&bar_, Qt::Key_Left);
  EXPECT_EQ(bar_.Value(), 4);
  EXPECT_EQ(changes_, 3);
}

TEST_F(ScrollBarTest, DraggedThumbRaisesOneChangeOnRelease) {
  const QPoint start = bar_.Centre(QStyle::SC_ScrollBarSlider);
  SendMouse(QEvent::MouseButtonPress, start, Qt::LeftButton);
  ASSERT_TRUE(bar_.isSliderDown());
  int moved = 0;
  for (int dx = 4; dx <= 40; dx += 4) {
    SendMouse(QEvent::MouseMove, start + QPoint(dx, 0), Qt::LeftButton);
    moved = bar_.Value();
  }
  EXPECT_GT(moved, 5);     // the value follows the thumb...
  EXPECT_EQ(changes_, 0);  // ...but nothing is reported while dragging
  SendMouse(QEvent::MouseButtonRelease, start + QPoint(40, 0), Qt::NoButton);
  EXPECT_EQ(changes_, 1);
  EXPECT_EQ(bar_.Value(), moved);
}

TEST_F(ScrollBarTest, DragBackToTheStartRaisesNothing) {
  const QPoint start = bar_.Centre(QStyle::SC_ScrollBarSlider);
  SendMouse(QEvent::MouseButtonPress, start, Qt::LeftButton);
  SendMouse(QEvent::MouseMove, start + QPoint(20, 0), Qt::LeftButton);
  EXPECT_NE(bar_.Value(), 5);
  SendMouse(QEvent::MouseMove, start, Qt::LeftButton);
  SendMouse(QEvent::MouseButtonRelease, start, Qt::NoButton);
  EXPECT_EQ(bar_.Value(), 5);
  EXPECT_EQ(changes_, 0);
}

}  // namespace
}  // namespace pelmora::toolkit::qt
