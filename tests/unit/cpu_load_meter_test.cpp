// SPDX-License-Identifier: MIT
#include "monitor/cpu_load_meter.h"

#include <gtest/gtest.h>

#include <limits>

#include "fakes/platform_fakes.h"

namespace pelmora {
namespace {

using fakes::FakeCpuTimeDevice;
using fakes::FakeTickClock;
using monitor::CpuLoadMeter;

// A device with one idle record at the start of its table.
struct Meter {
  Meter() {
    device.table = {0, 0, 0, platform::kCpuTimeIdleFlag};
    device.count = 16;
  }
  float Read(int64_t tick, int32_t idleCounter) {
    clock.now = tick;
    device.table[2] = idleCounter;
    return meter.ReadCpuLoad(device, clock);
  }
  FakeCpuTimeDevice device;
  FakeTickClock clock;
  CpuLoadMeter meter;
};

TEST(CpuLoadMeter, WorkedExample) {
  Meter m;
  EXPECT_EQ(m.Read(5000, 120000), 0) << "the first call has no previous tick";
  EXPECT_EQ(m.meter.PrevTick, 0);
  EXPECT_EQ(m.meter.CurTick, 5000);
  EXPECT_EQ(m.meter.PrevIdleTime, 120000);

  EXPECT_EQ(m.Read(6000, 120250), 7500);
  EXPECT_EQ(m.meter.PrevTick, 5000);
  EXPECT_EQ(m.meter.CurTick, 6000);
  EXPECT_EQ(m.meter.PrevIdleTime, 120250);
}

TEST(CpuLoadMeter, EachCallOpensRefreshesReadsAndCloses) {
  Meter m;
  m.Read(1000, 0);
  m.Read(2000, 0);
  EXPECT_EQ(m.device.requests, (std::vector<uint32_t>{2, 1, 2, 1}));
  EXPECT_EQ(m.device.openCount, 2);
  EXPECT_EQ(m.device.closeCount, 2);
}

TEST(CpuLoadMeter, LoadFollowsTheIdleGrowthUnclamped) {
  struct Case {
    int64_t elapsed;
    int32_t idleDelta;
    float load;
  };
  for (const Case& c : {Case{1000, 0, 10000}, Case{1000, 1000, 0}, Case{1000, 1100, -1000},
                        Case{1000, -250, 12500}, Case{3, 1, 10000 - 10000.0f / 3}}) {
    Meter m;
    m.Read(50000, 7000);
    EXPECT_FLOAT_EQ(m.Read(50000 + c.elapsed, 7000 + c.idleDelta), c.load)
        << "elapsed " << c.elapsed << " idle " << c.idleDelta;
  }
}

TEST(CpuLoadMeter, ScansFlagWordsWithinTheCount) {
  struct Case {
    std::vector<int32_t> table;
    int32_t count;
    float load;  // with the idle counter grown by 250 over 1000 ms
  };
  std::vector<int32_t> atEleven(12, 0);
  atEleven[11] = 2;
  std::vector<int32_t> twoFlagged(12, 0);
  twoFlagged[3] = 2;
  twoFlagged[11] = 2;
  const Case cases[] = {
      {{0, 0, 0, 2}, 0, 0},     {{0, 0, 0, 2}, 1, 0},      {{0, 0, 0, 2}, 2, 0},
      {{0, 0, 0, 2}, 3, 7500},  {atEleven, 11, 7500},      {atEleven, 10, 0},
      {{0, 0, 0, 1}, 16, 0},    {{0, 0, 0, 4}, 16, 0},     {{0, 0, 0, 5}, 16, 0},
      {{0, 0, 0, 3}, 16, 7500}, {{0, 0, 0, -1}, 16, 7500},
  };
  for (const Case& c : cases) {
    FakeCpuTimeDevice device;
    FakeTickClock clock;
    CpuLoadMeter meter;
    device.table = c.table;
    device.count = c.count;
    const int counterIndex = c.table.size() == 4 ? 2 : 10;
    clock.now = 1000;
    device.table[counterIndex] = 120000;
    meter.ReadCpuLoad(device, clock);
    clock.now = 2000;
    device.table[counterIndex] = 120250;
    EXPECT_EQ(meter.ReadCpuLoad(device, clock), c.load)
        << "count " << c.count << " flag " << c.table.back();
  }

  // Two flagged records: the lower one counts.
  Meter m;
  m.device.table = twoFlagged;
  m.device.count = 16;
  m.device.table[2] = 100;
  m.device.table[10] = 5000;
  m.meter.ReadCpuLoad(m.device, m.clock);
  EXPECT_EQ(m.meter.PrevIdleTime, 100);
}

TEST(CpuLoadMeter, NoIdleRecordKeepsTheIdleTimeButShiftsTheTicks) {
  Meter m;
  m.Read(1000, 500);
  m.device.count = 0;
  EXPECT_EQ(m.Read(2000, 900), 0);
  EXPECT_EQ(m.meter.PrevIdleTime, 500);
  EXPECT_EQ(m.meter.PrevTick, 1000);
  EXPECT_EQ(m.meter.CurTick, 2000);

  m.device.opens = false;
  EXPECT_EQ(m.Read(3000, 900), 0) << "a device that cannot be opened gives no load";
  EXPECT_EQ(m.meter.CurTick, 3000);
  EXPECT_EQ(m.meter.PrevIdleTime, 500);
}

TEST(CpuLoadMeter, NoElapsedTimeGivesZeroButTakesTheCounter) {
  Meter m;
  m.Read(1000, 100);
  EXPECT_EQ(m.Read(1000, 300), 0);
  EXPECT_EQ(m.meter.PrevIdleTime, 300);
  EXPECT_EQ(m.Read(900, 400), 0) << "a clock that steps back";
  EXPECT_EQ(m.meter.PrevIdleTime, 400);
  EXPECT_EQ(m.Read(1900, 400), 10000);
}

TEST(CpuLoadMeter, MeasuresAfterMonthsOfUptime) {
  // 30 days and 60 days in milliseconds: beyond 2^31 and 2^32.
  for (int64_t start :
       {int64_t{30} * 86400000, int64_t{60} * 86400000, int64_t{1} << 31, int64_t{1} << 32}) {
    Meter m;
    m.Read(start - 1000, 0);
    EXPECT_EQ(m.Read(start, 250), 7500) << start;
  }
}

TEST(CpuLoadMeter, LongSpansAndWrappingCountersDoNotOverflow) {
  Meter m;
  m.Read(1000, 0);
  // Ten minutes between two calls, half of it idle.
  EXPECT_EQ(m.Read(601000, 300000), 5000);

  // The idle counter wraps past 2^31 and 2^32 while it advances 250 ms.
  Meter w;
  w.Read(1000, std::numeric_limits<int32_t>::max() - 100);
  EXPECT_EQ(w.Read(2000, std::numeric_limits<int32_t>::min() + 149), 7500);
  w.Read(3000, -100);
  EXPECT_EQ(w.Read(4000, 150), 7500);
}

TEST(CpuLoadMeter, FirstIdleRecordAfterCallsWithoutOneComputesNothing) {
  Meter m;
  m.device.count = 0;
  m.Read(1000, 0);
  m.Read(2000, 0);
  m.device.count = 16;
  EXPECT_EQ(m.Read(3000, 987654), 0) << "no previous idle time to compare with";
  EXPECT_EQ(m.meter.PrevIdleTime, 987654);
  EXPECT_EQ(m.Read(4000, 987654 + 500), 5000);
}

TEST(CpuLoadMeter, ScanStaysInsideTheBuffer) {
  Meter m;
  m.device.table.assign(5000, 0);  // longer than the words offered
  m.device.table[4095] = 2;        // never delivered
  m.device.count = 1000000;
  EXPECT_EQ(m.Read(1000, 0), 0);
  EXPECT_EQ(m.Read(2000, 0), 0);
  EXPECT_EQ(m.meter.WintopBuffer[4095], 0);
  EXPECT_EQ(m.meter.WintopBuffer[4096], 0);
  m.device.count = -5;
  EXPECT_EQ(m.Read(3000, 0), 0);
}

TEST(CpuLoadMeter, BufferKeepsWordsTheDeviceDoesNotWrite) {
  Meter m;
  m.device.table = {0, 0, 10, 0, 0, 0, 20, 2};
  m.device.count = 32;
  m.Read(1000, 10);
  EXPECT_EQ(m.meter.PrevIdleTime, 20);
  m.device.table = {0, 0, 30, 0};  // the second record's words stay as they were
  m.Read(2000, 30);
  EXPECT_EQ(m.meter.PrevIdleTime, 20);
}

}  // namespace
}  // namespace pelmora
