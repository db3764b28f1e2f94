// SPDX-License-Identifier: MIT
#include "toolkit/qt/timer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <vector>

namespace pelmora::toolkit::qt {
namespace {

// Runs the event loop until `done` holds or the time is up.
template <typename Done>
void RunEventLoop(int milliseconds, Done done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < milliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
}

class TimerTest : public ::testing::Test {
 protected:
  TimerTest() {
    clock_.start();
    QObject::connect(&timer_, &QtTimer::Timer, [this] { ticks_.push_back(clock_.elapsed()); });
  }
  QtTimer timer_;
  QElapsedTimer clock_;
  std::vector<qint64> ticks_;
};

TEST_F(TimerTest, IntervalZeroNeverFires) {
  timer_.SetInterval(0);
  RunEventLoop(100, [] { return false; });
  EXPECT_TRUE(ticks_.empty());
  EXPECT_EQ(timer_.Interval(), 0);
  EXPECT_FALSE(timer_.IsRunning());
}

TEST_F(TimerTest, ZeroStopsARunningTimer) {
  timer_.SetInterval(20);
  RunEventLoop(2000, [this] { return !ticks_.empty(); });
  ASSERT_FALSE(ticks_.empty());
  timer_.SetInterval(0);
  ticks_.clear();
  RunEventLoop(100, [] { return false; });
  EXPECT_TRUE(ticks_.empty());
}

TEST_F(TimerTest, FiftyMillisecondsFiresRepeatedly) {
  timer_.SetInterval(50);
  EXPECT_EQ(timer_.Interval(), 50);
  RunEventLoop(3000, [this] { return ticks_.size() >= 3; });
  ASSERT_GE(ticks_.size(), 3u);
  // A coarse timer may come a little early, never much earlier.
  EXPECT_GE(ticks_[0], 40);
  EXPECT_GE(ticks_[2] - ticks_[0], 2 * 40);
}

TEST_F(TimerTest, SettingAnIntervalAgainStartsAFullPeriod) {
  timer_.SetInterval(300);
  RunEventLoop(150, [] { return false; });
  timer_.SetInterval(300);
  const qint64 restartedAt = clock_.elapsed();
  RunEventLoop(3000, [&] { return !ticks_.empty() && ticks_.back() >= restartedAt; });
  ASSERT_FALSE(ticks_.empty());
  // Without the restart the first period would have ended 150 ms after it.
  EXPECT_GE(ticks_.back() - restartedAt, 270);
}

TEST_F(TimerTest, TagIsKept) {
  EXPECT_EQ(timer_.Tag(), "");
  timer_.SetTag("Start");
  EXPECT_EQ(timer_.Tag(), "Start");
  timer_.SetTag("");
  EXPECT_EQ(timer_.Tag(), "");
}

}  // namespace
}  // namespace pelmora::toolkit::qt
