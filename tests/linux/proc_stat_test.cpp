// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "platform/linux/parsers/proc_stat_parser.h"

namespace pelmora::platform::linux_os {
namespace {

CpuTimes Times(uint64_t user, uint64_t nice, uint64_t system, uint64_t idle, uint64_t iowait = 0,
               uint64_t irq = 0, uint64_t softirq = 0, uint64_t steal = 0, uint64_t guest = 0,
               uint64_t guestNice = 0) {
  return CpuTimes{user, nice, system, idle, iowait, irq, softirq, steal, guest, guestNice};
}

std::array<uint64_t, 10> Fields(const CpuTimes& t) {
  return {t.user, t.nice,    t.system, t.idle,  t.iowait,
          t.irq,  t.softirq, t.steal,  t.guest, t.guestNice};
}

TEST(ParseProcStat, ReadsTheAggregateLine) {
  const struct {
    const char* name;
    std::string text;
    std::array<uint64_t, 10> fields;
  } cases[] = {
      {"current kernel",
       "cpu  4113 7 3470 49540 264 11 137 5 3 2\n"
       "cpu0 1566 0 1376 25735 10 0 46 0 0 0\n"
       "cpu1 2547 7 2093 23805 253 11 90 5 3 2\n"
       "intr 123 0 0\nctxt 456\nbtime 1700000000\n",
       {4113, 7, 3470, 49540, 264, 11, 137, 5, 3, 2}},
      {"wherever it stands",
       "cpu0 1 2 3 4\nintr 5\ncpu\t10 20 30 40 50\ncpu1 9 9 9 9\n",
       {10, 20, 30, 40, 50}},
      // Older kernels report fewer fields: the rest read 0.
      {"four fields", "cpu 1 2 3 4\n", {1, 2, 3, 4}},
      {"seven fields", "cpu 1 2 3 4 5 6 7\n", {1, 2, 3, 4, 5, 6, 7}},
      {"fields beyond the ten known ones",
       "cpu 1 2 3 4 5 6 7 8 9 10 11 12\n",
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"every blank", "cpu\v1\f2\r3 \t4\r\n", {1, 2, 3, 4}},
      {"largest 64-bit value",
       "cpu 18446744073709551615 0 0 1\n",
       {18446744073709551615u, 0, 0, 1}},
  };
  for (const auto& c : cases) {
    const auto times = ParseProcStat(c.text);
    ASSERT_TRUE(times) << c.name;
    EXPECT_EQ(Fields(*times), c.fields) << c.name;
  }
}

TEST(ParseProcStat, RejectsTextsItCannotTrust) {
  const struct {
    const char* name;
    std::string text;
  } cases[] = {
      {"empty", ""},
      {"no aggregate line", "cpu0 1 2 3 4\ncpu1 1 2 3 4\nintr 1\n"},
      {"too few fields", "cpu 1 2 3\n"},
      {"no fields", "cpu \n"},
      {"garbage field", "cpu 1 2 x 4\n"},
      {"negative field", "cpu 1 -2 3 4\n"},
      {"number glued to text", "cpu 1 2 3 4kB\n"},
      {"value beyond 64 bits", "cpu 18446744073709551616 0 0 1\n"},
      {"far beyond 64 bits", "cpu 1 2 3 99999999999999999999999999999999999999\n"},
      {"cut inside the line", "cpu  4113 0 3470 495"},
      {"cut before the aggregate line", "intr 1 2 3\ncp"},
      {"binary noise", std::string("\0\xff\n\x01cpu", 7)},
  };
  for (const auto& c : cases) EXPECT_FALSE(ParseProcStat(c.text)) << c.name;
}

TEST(IdleShareBetween, WeighsIdleAgainstAllTimeOfTheWholeMachine) {
  const CpuTimes start = Times(1000, 50, 500, 8000, 100, 10, 20, 30, 200, 20);
  const struct {
    const char* name;
    CpuTimes end;
    uint64_t idle;
    uint64_t total;
  } cases[] = {
      {"idle machine", Times(1000, 50, 500, 8200, 100, 10, 20, 30, 200, 20), 200, 200},
      {"busy machine", Times(1150, 70, 530, 8000, 100, 10, 20, 30, 200, 20), 0, 200},
      // two processors over one second: one is busy, the other idle
      {"one busy core of two", Times(1100, 50, 500, 8100, 100, 10, 20, 30, 200, 20), 100, 200},
      {"iowait counts as idle", Times(1000, 50, 600, 8050, 150, 10, 20, 30, 200, 20), 100, 200},
      {"irq and softirq count as busy", Times(1000, 50, 500, 8100, 100, 60, 70, 30, 200, 20), 100,
       200},
      {"steal counts as busy", Times(1000, 50, 500, 8100, 100, 10, 20, 130, 200, 20), 100, 200},
      // a guest's time is in user and nice already: counted once
      {"guest counted once", Times(1100, 60, 500, 8110, 100, 10, 20, 30, 300, 30), 110, 220},
      // iowait stepped back by 40: its delta counts 0, not -40
      {"a counter that steps back", Times(1100, 50, 500, 8100, 60, 10, 20, 30, 200, 20), 100, 200},
  };
  for (const auto& c : cases) {
    auto share = IdleShareBetween(start, c.end);
    ASSERT_TRUE(share) << c.name;
    EXPECT_EQ(share->idle, c.idle) << c.name;
    EXPECT_EQ(share->total, c.total) << c.name;
  }
}

TEST(IdleShareBetween, ASpanWithoutClockTicksHasNoShare) {
  const CpuTimes sample = Times(5, 5, 5, 5, 5, 5, 5, 5, 5, 5);
  EXPECT_FALSE(IdleShareBetween(sample, sample));
  // Only guest time moved (impossible without user moving, but not to be trusted),
  // or everything stepped back.
  EXPECT_FALSE(IdleShareBetween(sample, Times(5, 5, 5, 5, 5, 5, 5, 5, 9, 9)));
  EXPECT_FALSE(IdleShareBetween(sample, Times(1, 1, 1, 1, 1, 1, 1, 1, 1, 1)));
}

TEST(IdleShareBetween, HugeDeltasSaturateInsteadOfWrapping) {
  const uint64_t max = 18446744073709551615u;
  auto share = IdleShareBetween(Times(0, 0, 0, 0), Times(max, max, 0, max, max));
  ASSERT_TRUE(share);
  EXPECT_EQ(share->total, max);
  EXPECT_LE(share->idle, share->total);
}

}  // namespace
}  // namespace pelmora::platform::linux_os
