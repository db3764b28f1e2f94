// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/figures/linux_cpu_time_device.h"

namespace pelmora::platform::linux_os {
namespace {

class ManualClock : public platform::TickClock {
 public:
  int64_t GetTickCount() override { return now; }
  int64_t now = 0;
};

// /proc/stat as the test writes it; `readable` false makes the read fail.
struct StatFeed {
  std::string text;
  bool readable = true;
  int reads = 0;
  LinuxCpuTimeDevice::StatReader Reader() {
    return [this](std::string& out) {
      ++reads;
      if (!readable) return false;
      out = text;
      return true;
    };
  }
};

// The aggregate line of a machine whose CPUs spent `busy` ticks in user mode
// and `idle` ticks idle, followed by per-CPU lines as the kernel writes them.
std::string Stat(uint64_t busy, uint64_t idle) {
  return "cpu  " + std::to_string(busy) + " 0 0 " + std::to_string(idle) +
         " 0 0 0 0 0 0\ncpu0 0 0 0 0 0 0 0 0 0 0\nintr 0\n";
}

class CpuDeviceTest : public ::testing::Test {
 protected:
  CpuDeviceTest() : device(clock, feed.Reader()) { feed.text = Stat(0, 0); }

  // One request as the CPU load meter sends it: open, refresh, read the
  // table, close. Returns word 2 of the idle record.
  int32_t ReadIdle() {
    auto handle = device.Open();
    EXPECT_TRUE(handle);
    if (!handle) return 0;
    int32_t count = 0;
    int32_t scratch = 0;
    EXPECT_TRUE(handle->DeviceIoControl(platform::kCpuTimeRefresh, {&scratch, 1}, count));
    EXPECT_TRUE(handle->DeviceIoControl(platform::kCpuTimeReadTable, {table.data(), 4095}, count));
    EXPECT_EQ(count, 16);
    EXPECT_EQ(table[3], platform::kCpuTimeIdleFlag);
    return table[2];
  }

  // Advances the clock by ms while the machine spends busy and idle ticks.
  int32_t Span(int64_t ms, uint64_t busy, uint64_t idle) {
    clock.now += ms;
    busyTicks += busy;
    idleTicks += idle;
    feed.text = Stat(busyTicks, idleTicks);
    return ReadIdle();
  }

  ManualClock clock;
  StatFeed feed;
  LinuxCpuTimeDevice device;
  std::vector<int32_t> table = std::vector<int32_t>(4097, 0);
  uint64_t busyTicks = 0;
  uint64_t idleTicks = 0;
};

TEST_F(CpuDeviceTest, WritesOneIdleRecordAndLeavesTheRestOfTheBufferAlone) {
  std::vector<int32_t> out(4097, -7);
  clock.now = 1000;
  feed.text = Stat(0, 0);
  auto handle = device.Open();
  ASSERT_TRUE(handle);
  int32_t count = -1;
  int32_t scratch = 0;
  EXPECT_TRUE(handle->DeviceIoControl(platform::kCpuTimeRefresh, {&scratch, 1}, count));
  EXPECT_EQ(count, -1) << "the refresh reports nothing";
  clock.now = 1500;
  feed.text = Stat(0, 100);
  ASSERT_TRUE(handle->DeviceIoControl(platform::kCpuTimeReadTable, {out.data(), 4095}, count));
  clock.now = 2000;
  feed.text = Stat(0, 200);
  ASSERT_TRUE(handle->DeviceIoControl(platform::kCpuTimeReadTable, {out.data(), 4095}, count));
  EXPECT_EQ(count, 16);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(out[2], 500) << "fully idle over 500 ms";
  EXPECT_EQ(out[3], 2);
  for (size_t i = 4; i < out.size(); ++i) ASSERT_EQ(out[i], -7) << "word " << i;
}

TEST_F(CpuDeviceTest, RefusesRequestsItCannotServeWithoutTouchingAnything) {
  Span(0, 0, 0);
  auto handle = device.Open();
  ASSERT_TRUE(handle);
  std::vector<int32_t> small(3, -7);
  int32_t count = -1;
  clock.now += 100;
  feed.text = Stat(0, 50);
  EXPECT_FALSE(handle->DeviceIoControl(platform::kCpuTimeReadTable, small, count));
  EXPECT_FALSE(handle->DeviceIoControl(7, table, count));
  EXPECT_EQ(small, std::vector<int32_t>(3, -7));
  EXPECT_EQ(count, -1);
  // The refused requests did not take up the span: the next one sees all 100 ms.
  EXPECT_EQ(ReadIdle(), 100);
}

TEST_F(CpuDeviceTest, FirstRequestStartsTheCounterAtZero) {
  clock.now = 123456;
  feed.text = Stat(500, 7000);
  EXPECT_EQ(ReadIdle(), 0);
  EXPECT_EQ(device.IdleMilliseconds(), 0u);
}

TEST_F(CpuDeviceTest, IdleMachineGainsExactlyTheElapsedTimeAndBusyOneNothing) {
  Span(0, 0, 0);
  int64_t expected = 0;
  for (int64_t ms : {1000, 200, 4000, 1, 997}) {
    expected += ms;
    EXPECT_EQ(Span(ms, 0, static_cast<uint64_t>(ms) / 5 + 1), expected) << "idle span of " << ms;
  }
  for (int64_t ms : {1000, 200, 4000, 1, 997}) {
    EXPECT_EQ(Span(ms, static_cast<uint64_t>(ms) / 5 + 1, 0), expected) << "busy span of " << ms;
  }
}

TEST_F(CpuDeviceTest, OneBusyCoreOfTwoGainsHalfTheTime) {
  Span(0, 0, 0);
  // Two processors over one second: 100 ticks busy, 100 idle.
  EXPECT_EQ(Span(1000, 100, 100), 500);
  EXPECT_EQ(Span(1000, 100, 100), 1000);
}

TEST_F(CpuDeviceTest, KeepsTheFractionSoManySpansDoNotDrift) {
  Span(0, 0, 0);
  for (int k = 1; k <= 1000; ++k) {
    int32_t idle = Span(7, 2, 1);  // a third idle over 7 ms
    ASSERT_EQ(idle, 7 * k / 3) << "after span " << k;
  }
  EXPECT_EQ(device.IdleMilliseconds(), 2333u);
}

TEST_F(CpuDeviceTest, UnevenSharesSumToTheExactIdleTime) {
  Span(0, 0, 0);
  // idle shares 1/7, 3/7, 5/7 over 13 ms spans: each triple adds 9 x 13 / 7 ms
  for (int k = 1; k <= 700; ++k) {
    Span(13, 6, 1);
    Span(13, 4, 3);
    Span(13, 2, 5);
  }
  EXPECT_EQ(device.IdleMilliseconds(), 700u * 9 * 13 / 7);
}

TEST_F(CpuDeviceTest, ASpanWithoutClockTicksRepeatsThePreviousShare) {
  Span(0, 0, 0);
  EXPECT_EQ(Span(200, 30, 10), 50);  // a quarter idle
  EXPECT_EQ(Span(200, 0, 0), 100) << "no ticks: a quarter again";
  EXPECT_EQ(Span(200, 0, 0), 150);
  EXPECT_EQ(Span(200, 0, 40), 350) << "fully idle again";
}

TEST_F(CpuDeviceTest, ASpanWithoutClockTicksAndNoShareBeforeItGainsNothing) {
  Span(0, 0, 0);
  EXPECT_EQ(Span(300, 0, 0), 0);
  EXPECT_EQ(Span(300, 0, 30), 300);
}

TEST_F(CpuDeviceTest, AClockThatStandsStillOrGoesBackGainsNothing) {
  clock.now = 10000;
  Span(0, 0, 0);
  EXPECT_EQ(Span(1000, 0, 100), 1000);
  EXPECT_EQ(Span(0, 0, 100), 1000) << "clock stood still";
  EXPECT_EQ(Span(-5000, 0, 100), 1000) << "clock went back";
  EXPECT_EQ(Span(-1, 0, 100), 1000) << "and back again";
  // From the new, lower reading on, spans count normally.
  EXPECT_EQ(Span(400, 0, 40), 1400);
  EXPECT_EQ(device.IdleMilliseconds(), 1400u);
}

TEST_F(CpuDeviceTest, AnUnreadableOrGarbledSampleGainsNothingAndKeepsTheLastGoodOne) {
  Span(0, 0, 0);
  EXPECT_EQ(Span(1000, 0, 100), 1000);
  // The file goes bad between opening the handle and the request.
  auto handle = device.Open();
  ASSERT_TRUE(handle);
  // Without a reading there is no record: an idle counter that stood still
  // would read as a fully busy machine.
  int32_t count = 0;
  table[2] = -7;
  clock.now += 1000;
  feed.readable = false;
  EXPECT_FALSE(handle->DeviceIoControl(platform::kCpuTimeReadTable, table, count));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(table[2], -7) << "nothing is written";
  feed.readable = true;
  clock.now += 1000;
  feed.text = "cpu 1 2\n";
  EXPECT_FALSE(handle->DeviceIoControl(platform::kCpuTimeReadTable, table, count));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(device.IdleMilliseconds(), 1000u) << "nothing is gained";
  EXPECT_EQ(device.Open(), nullptr) << "and the device reads as missing until /proc/stat is back";
  // 300 ticks since the last good sample, a third idle: the share of that
  // whole stretch applies to the 500 ms since the previous request.
  EXPECT_EQ(Span(500, 200, 100), 1000 + 500 / 3);
}

TEST_F(CpuDeviceTest, OpenFailsWhenProcStatCannotBeReadOrParsed) {
  feed.readable = false;
  EXPECT_EQ(device.Open(), nullptr);
  feed.readable = true;
  for (const char* text : {"", "garbage\n", "cpu0 1 2 3 4\n", "cpu 1 2 3\n"}) {
    feed.text = text;
    EXPECT_EQ(device.Open(), nullptr) << text;
  }
  feed.text = Stat(0, 0);
  EXPECT_NE(device.Open(), nullptr);
}

TEST_F(CpuDeviceTest, KeepsItsStateAcrossHandles) {
  Span(0, 0, 0);
  Span(100, 0, 10);
  auto first = device.Open();
  auto second = device.Open();
  ASSERT_TRUE(first && second);
  int32_t count = 0;
  clock.now += 100;
  feed.text = Stat(0, 20);
  ASSERT_TRUE(first->DeviceIoControl(platform::kCpuTimeReadTable, table, count));
  EXPECT_EQ(table[2], 200);
  first.reset();
  clock.now += 100;
  feed.text = Stat(0, 30);
  ASSERT_TRUE(second->DeviceIoControl(platform::kCpuTimeReadTable, table, count));
  EXPECT_EQ(table[2], 300);
}

TEST_F(CpuDeviceTest, TheCounterWordWrapsModulo2To32) {
  Span(0, 0, 0);
  Span(0x7fffffff, 0, 1000);
  EXPECT_EQ(table[2], 0x7fffffff);
  Span(1, 0, 1);
  EXPECT_EQ(table[2], INT32_MIN);
  Span(0x80000000 + 5, 0, 1000);
  EXPECT_EQ(table[2], 5);
  EXPECT_EQ(device.IdleMilliseconds(), 0x100000005u);
  // A 32-bit wrapping difference across the wrap is still the elapsed time.
  const int32_t before = table[2];
  Span(250, 0, 25);
  EXPECT_EQ(static_cast<int32_t>(static_cast<uint32_t>(table[2]) - static_cast<uint32_t>(before)),
            250);
}

}  // namespace
}  // namespace pelmora::platform::linux_os
