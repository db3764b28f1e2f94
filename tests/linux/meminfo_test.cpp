// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <string>

#include "platform/linux/io/proc_fs.h"
#include "platform/linux/figures/linux_memory_status.h"
#include "platform/linux/parsers/proc_meminfo_parser.h"
#include "support/scratch_dir.h"

namespace pelmora::platform::linux_os {
namespace {

constexpr int64_t kMaxBytes = std::numeric_limits<int64_t>::max();

const char* const kMeminfo =
    "MemTotal:       16303536 kB\n"
    "MemFree:         9876543 kB\n"
    "MemAvailable:   12345678 kB\n"
    "Buffers:          123456 kB\n"
    "Cached:          2345678 kB\n"
    "SwapCached:            0 kB\n"
    "SwapTotal:       2097148 kB\n"
    "SwapFree:        2000000 kB\n"
    "HugePages_Total:       0\n";

// Physical, page file and virtual memory in bytes, each total then available.
using Bytes = std::array<int64_t, 6>;

Bytes Figures(const platform::MemoryStatus& s) {
  return {s.dwTotalPhys,     s.dwAvailPhys,    s.dwTotalPageFile,
          s.dwAvailPageFile, s.dwTotalVirtual, s.dwAvailVirtual};
}

constexpr int64_t K = 1024;

TEST(MemoryStatusFromMeminfo, FiguresOfTheKernelsTexts) {
  const struct {
    const char* name;
    std::string text;
    Bytes bytes;
  } cases[] = {
      {"current kernel",
       kMeminfo,
       {16303536 * K, 12345678 * K, 2097148 * K, 2000000 * K, (16303536 + 2097148) * K,
        (12345678 + 2000000) * K}},
      {"lines in another order",
       "SwapFree: 10 kB\nMemAvailable: 300 kB\nSwapTotal: 20 kB\nMemTotal: 1000 kB\n",
       {1000 * K, 300 * K, 20 * K, 10 * K, 1020 * K, 310 * K}},
      {"no swap",
       "MemTotal: 1000 kB\nMemAvailable: 400 kB\nSwapTotal: 0 kB\nSwapFree: 0 kB\n",
       {1000 * K, 400 * K, 0, 0, 1000 * K, 400 * K}},
      {"swap lines missing",
       "MemTotal: 1000 kB\nMemAvailable: 400 kB\n",
       {1000 * K, 400 * K, 0, 0, 1000 * K, 400 * K}},
      // Kernels before 3.14: free + buffers + page cache
      {"no MemAvailable",
       "MemTotal: 1000 kB\nMemFree: 100 kB\nBuffers: 50 kB\nCached: 250 kB\nSwapTotal: 0 kB\n",
       {1000 * K, 400 * K, 0, 0, 1000 * K, 400 * K}},
      {"no MemAvailable and a cache beyond total",
       "MemTotal: 1000 kB\nMemFree: 600 kB\nCached: 600 kB\n",
       {1000 * K, 1000 * K, 0, 0, 1000 * K, 1000 * K}},
      {"available beyond total is held to total",
       "MemTotal: 1000 kB\nMemAvailable: 5000 kB\nSwapTotal: 10 kB\nSwapFree: 50 kB\n",
       {1000 * K, 1000 * K, 10 * K, 10 * K, 1010 * K, 1010 * K}},
      {"first of a doubled line counts",
       "MemTotal: 1000 kB\nMemTotal: 9 kB\nMemAvailable: 1 kB\n",
       {1000 * K, 1 * K, 0, 0, 1000 * K, 1 * K}},
      {"garbled values read as missing",
       "MemTotal: 1000 kB\nMemAvailable: lots kB\nMemFree: 12x kB\nBuffers: 7 kB\n",
       {1000 * K, 7 * K, 0, 0, 1000 * K, 7 * K}},
      {"a cut last line is dropped",
       "MemTotal: 1000 kB\nMemAvailable: 400 kB\nSwapTotal: 20",
       {1000 * K, 400 * K, 0, 0, 1000 * K, 400 * K}},
      {"no MemTotal",
       "MemAvailable: 400 kB\nSwapTotal: 20 kB\nSwapFree: 20 kB\n",
       {0, 0, 20 * K, 20 * K, 20 * K, 20 * K}},
      {"empty", "", {0, 0, 0, 0, 0, 0}},
      {"noise", std::string("\0\n:::\n\xff: 12\nMemTotal 12 kB\n", 27), {0, 0, 0, 0, 0, 0}},
      // A value beyond 64 bits is unreadable: a later MemTotal fills the gap, and
      // without MemAvailable the older estimate counts, its sum saturating.
      {"values beyond 64 bits",
       "MemTotal: 18446744073709551616 kB\nMemAvailable: 99999999999999999999999 kB\n"
       "MemTotal: 1000 kB\nMemFree: 18446744073709551615 kB\nCached: 5 kB\n",
       {1000 * K, 1000 * K, 0, 0, 1000 * K, 1000 * K}},
      // Byte counts beyond 63 bits saturate. 2^53 kB is 2^63 bytes.
      {"bytes beyond 63 bits",
       "MemTotal: 9007199254740992 kB\nMemAvailable: 1 kB\n",
       {kMaxBytes, K, 0, 0, kMaxBytes, K}},
      {"largest that fits",
       "MemTotal: 9007199254740991 kB\nMemAvailable: 9007199254740991 kB\n",
       {kMaxBytes - 1023, kMaxBytes - 1023, 0, 0, kMaxBytes - 1023, kMaxBytes - 1023}},
      {"sum beyond 63 bits",
       "MemTotal: 9007199254740991 kB\nMemAvailable: 9007199254740991 kB\n"
       "SwapTotal: 4096 kB\nSwapFree: 4096 kB\n",
       {kMaxBytes - 1023, kMaxBytes - 1023, 4096 * K, 4096 * K, kMaxBytes, kMaxBytes}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Figures(MemoryStatusFromMeminfo(ParseMeminfo(c.text))), c.bytes) << c.name;
  }
}

TEST(LinuxMemoryStatus, ReadsTheFileAndLeavesZerosWhenItCannot) {
  testing_support::ScratchDir dir;
  dir.Write("meminfo", kMeminfo);
  ProcFs proc(dir.Root());
  LinuxMemoryStatus memory(proc);
  platform::MemoryStatus status;
  memory.GlobalMemoryStatus(status);
  EXPECT_EQ(status.dwTotalPhys, 16303536 * K);
  EXPECT_EQ(status.dwAvailVirtual, (12345678 + 2000000) * K);

  dir.Remove("meminfo");
  memory.GlobalMemoryStatus(status);
  EXPECT_EQ(Figures(status), Bytes{}) << "file gone";
}

TEST(LinuxMemoryStatus, TheRunningMachineHasConsistentFigures) {
  ProcFs proc("/proc");
  LinuxMemoryStatus memory(proc);
  platform::MemoryStatus status;
  memory.GlobalMemoryStatus(status);
  EXPECT_GT(status.dwTotalPhys, 0);
  EXPECT_GT(status.dwAvailPhys, 0);
  EXPECT_LE(status.dwAvailPhys, status.dwTotalPhys);
  EXPECT_LE(status.dwAvailPageFile, status.dwTotalPageFile);
  EXPECT_EQ(status.dwTotalVirtual, status.dwTotalPhys + status.dwTotalPageFile);
  EXPECT_EQ(status.dwAvailVirtual, status.dwAvailPhys + status.dwAvailPageFile);
}

}  // namespace
}  // namespace pelmora::platform::linux_os
