// SPDX-License-Identifier: MIT
#include "platform/linux/parsers/proc_pid_parsers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/fake_proc.h"

namespace pelmora::platform::linux_os {
namespace {

// A stat line with the command name and the fields that matter to the
// process list put in by the test, in the order they stand in the line.
std::string StatLine(const std::string& comm, const std::string& ppid = "1",
                     const std::string& flags = "4194304", const std::string& priority = "20",
                     const std::string& threads = "3", const std::string& starttime = "28851",
                     const std::string& start_brk = "94313293008896") {
  return testing_support::StatLine({.comm = comm,
                                    .ppid = ppid,
                                    .flags = flags,
                                    .priority = priority,
                                    .threads = threads,
                                    .starttime = starttime,
                                    .startBrk = start_brk});
}

struct NameCase {
  const char* label;
  std::string comm;
};

void PrintTo(const NameCase& name_case, std::ostream* out) { *out << name_case.label; }

class CommandNameTest : public testing::TestWithParam<NameCase> {};

// Whatever bytes the name holds, it comes back whole and the fields after it
// are read from the right place.
TEST_P(CommandNameTest, NameIsKeptAndFieldsFollowIt) {
  const std::string line = StatLine(GetParam().comm);
  const auto stat = ParsePidStat(line);
  ASSERT_TRUE(stat.has_value());
  EXPECT_EQ(stat->pid, 4242);
  EXPECT_EQ(stat->comm, GetParam().comm);
  EXPECT_EQ(stat->state, 'S');
  EXPECT_EQ(stat->ppid, 1);
  EXPECT_EQ(stat->flags, 4194304u);
  EXPECT_EQ(stat->priority, 20);
  EXPECT_EQ(stat->num_threads, 3);
  EXPECT_EQ(stat->starttime, 28851u);
  EXPECT_EQ(stat->start_brk, 94313293008896u);
  EXPECT_EQ(stat->arg_start, 140727823874503u);
  EXPECT_EQ(stat->env_end, 140727823876075u);
  EXPECT_FALSE(stat->IsKernelThread());
}

INSTANTIATE_TEST_SUITE_P(
    HostileNames, CommandNameTest,
    testing::Values(NameCase{"plain", "sleep"}, NameCase{"blanks", "Web Content"},
                    NameCase{"parentheses", ")) ("}, NameCase{"fake_fields", "x) R 1 2 3"},
                    NameCase{"only_close", ")"}, NameCase{"newline", "a\nb"},
                    NameCase{"tab", "a\tb"}, NameCase{"empty", ""},
                    NameCase{"rtl_marks",
                             "\xE2\x80\x8F"
                             "evil\xE2\x80\xAE"
                             "gpj.exe"},
                    NameCase{"invalid_utf8",
                             "\xFF\xFE\xC3(\x80"
                             "x"},
                    // 15 bytes: the kernel cut the last "あ" after its first byte.
                    NameCase{"cut_multibyte", "abcdefghijkl\xE3\x81\x82\xE3"},
                    NameCase{"nul_byte", std::string("a\0b", 3)}),
    [](const testing::TestParamInfo<NameCase>& info) { return info.param.label; });

TEST(ParsePidStatTest, ReadsRealKernelThreadLine) {
  const auto stat = ParsePidStat(
      "2 (kthreadd) S 0 0 0 0 -1 2129984 0 0 0 0 0 0 0 0 20 0 1 0 18 0 0 18446744073709551615 0 "
      "0 0 0 0 0 0 2147483647 0 1 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0\n");
  ASSERT_TRUE(stat.has_value());
  EXPECT_TRUE(stat->IsKernelThread());
  EXPECT_EQ(stat->ppid, 0);
  EXPECT_EQ(stat->starttime, 18u);
  EXPECT_EQ(stat->start_brk, 0u);
}

TEST(ParsePidStatTest, NegativePriorityOfRealTimeTask) {
  const auto stat = ParsePidStat(StatLine("rt", "1", "64", "-100"));
  ASSERT_TRUE(stat.has_value());
  EXPECT_EQ(stat->priority, -100);
}

TEST(ParsePidStatTest, OldKernelWithoutHeapFieldsReadsZero) {
  // Up to field 44 only, as kernels before 3.3 write it.
  const auto stat = ParsePidStat(
      "77 (old) R 1 77 77 0 -1 4202752 0 0 0 0 0 0 0 0 25 5 1 0 9000 0 0 4294967295 0 0 0 0 0 "
      "0 0 0 0 0 0 0 17 0 0 0 0 0 0\n");
  ASSERT_TRUE(stat.has_value());
  EXPECT_EQ(stat->priority, 25);
  EXPECT_EQ(stat->starttime, 9000u);
  EXPECT_EQ(stat->start_brk, 0u);
}

TEST(ParsePidStatTest, NumbersAtTheEdgesOf64BitsAreReadExactly) {
  const auto stat = ParsePidStat(StatLine("x", "9223372036854775807", "18446744073709551615",
                                          "-9223372036854775808", "9223372036854775807",
                                          "18446744073709551615", "18446744073709551615"));
  ASSERT_TRUE(stat.has_value());
  EXPECT_EQ(stat->ppid, std::numeric_limits<int64_t>::max());
  EXPECT_EQ(stat->flags, std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(stat->priority, std::numeric_limits<int64_t>::min());
  EXPECT_EQ(stat->num_threads, std::numeric_limits<int64_t>::max());
  EXPECT_EQ(stat->starttime, std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(stat->start_brk, std::numeric_limits<uint64_t>::max());
}

TEST(ParsePidStatTest, UnreadableHeapFieldReadsZero) {
  for (const char* start_brk : {"0x1234", "18446744073709551616"}) {
    const auto stat = ParsePidStat(StatLine("x", "1", "0", "20", "1", "5", start_brk));
    ASSERT_TRUE(stat.has_value()) << start_brk;
    EXPECT_EQ(stat->start_brk, 0u);
    EXPECT_EQ(stat->starttime, 5u);
  }
}

TEST(ParsePidStatTest, BrokenTextGivesNothing) {
  const std::string good = StatLine("ok");
  const std::vector<std::string> broken = {
      "",
      "garbage",
      "4242 sleep S 1",                // no parentheses
      "4242 (sleep S 1 2 3",           // no closing one
      ") 4242 (sleep",                 // closing before opening
      "(sleep) S 1 4242 4020 0 -1 0",  // no PID
      "-5 (sleep) S 1",                // negative PID
      "12 34 (sleep) S 1",
      "9223372036854775808" + good.substr(4),  // PID beyond 64 bits // two numbers before the name
      good.substr(0, good.find(") S") + 1),    // cut after the name
      good.substr(0, good.find(" 28851")),     // cut before field 22
      std::string(good).replace(good.find(" 28851"), 1, "\n"),   // field 22 beyond the line end
      StatLine("x", "one"),                                      // ppid not a number
      StatLine("x", "1", "-4"),                                  // flags negative
      StatLine("x", "1", "0", "20", "3", "-7"),                  // start time negative
      StatLine("x", "1", "0", "20", "1e3"),                      // threads not decimal
      std::string(good).replace(good.find(") S") + 2, 1, "SS"),  // state of two letters
      // One beyond 64 bits: unreadable, not the largest value.
      StatLine("x", "9223372036854775808"),
      StatLine("x", "1", "0", "-9223372036854775809"),
      StatLine("x", "1", "0", "20", "3", "18446744073709551616"),
  };
  for (const std::string& text : broken) EXPECT_FALSE(ParsePidStat(text).has_value()) << text;

  // A line cut inside field 22 leaves a shorter, still valid number.
  const auto cut = ParsePidStat(good.substr(0, good.find("28851") + 4));
  ASSERT_TRUE(cut.has_value());
  EXPECT_EQ(cut->starttime, 2885u);
  EXPECT_EQ(cut->start_brk, 0u);
}

TEST(Argv0Test, FirstArgumentOnly) {
  using namespace std::string_literals;
  EXPECT_EQ(Argv0("/usr/bin/sleep\0"
                  "100\0"s),
            "/usr/bin/sleep");
  EXPECT_EQ(Argv0("/opt/My App/run\0--x\0"s), "/opt/My App/run");
  EXPECT_EQ(Argv0("sshd: user [priv]"), "sshd: user [priv]");  // rewritten, no NUL
  EXPECT_EQ(Argv0(""), "");                                    // zombie, kernel thread
  EXPECT_EQ(Argv0("\0second\0"s), "");
}

TEST(ParsePidNameTest, OnlyCanonicalPids) {
  EXPECT_EQ(ParsePidName("1"), 1);
  EXPECT_EQ(ParsePidName("4194304"), 4194304);
  EXPECT_EQ(ParsePidName("2147483647"), 2147483647);
  for (const char* name : {"", "0", "007", "self", "thread-self", "12a", "-1", "+1", "2147483648",
                           "99999999999", "1 "}) {
    EXPECT_FALSE(ParsePidName(name).has_value()) << name;
  }
}

TEST(ParseFdinfoPidTest, ThePidLineOnly) {
  const std::string head = "pos:\t0\nflags:\t02000002\nmnt_id:\t15\nino:\t1057\n";
  const struct {
    std::string text;
    std::optional<int64_t> pid;
  } cases[] = {
      {head + "Pid:\t4276\nNSpid:\t4276\t1\n", 4276},
      {head + "Pid:\t0\nNSpid:\t0\n", 0},     // not in this /proc's namespace
      {head + "Pid:\t-1\nNSpid:\t-1\n", -1},  // ended
      {"NSpid:\t7\nPid:\t8\n", 8},
      {head + "NSpid:\t7\n", std::nullopt},
      {head + "Pid:\t42", std::nullopt},  // cut off: maybe 420
      {"Pid:\t-2\n", std::nullopt},
      {"Pid:\t2147483648\n", std::nullopt},
      {"Pid:\t4 2\n", std::nullopt},
      {"Pid:\t\n", std::nullopt},
      {" Pid:\t1\n", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseFdinfoPid(c.text), c.pid) << c.text;
}

}  // namespace
}  // namespace pelmora::platform::linux_os
