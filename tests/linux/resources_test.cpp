// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/io/proc_fs.h"
#include "platform/linux/figures/linux_free_resources.h"
#include "platform/linux/parsers/resource_parsers.h"
#include "support/scratch_dir.h"

namespace pelmora::platform::linux_os {
namespace {

constexpr uint64_t kMax64 = 18446744073709551615u;

TEST(ResourceParsers, LoadavgTasks) {
  EXPECT_EQ(ParseLoadavgTasks("0.33 0.16 0.07 1/234 5812\n"), 234u);
  EXPECT_EQ(ParseLoadavgTasks("0.00 0.00 0.00 0/1\n"), 1u);
  EXPECT_EQ(ParseLoadavgTasks("1 2 3 4/18446744073709551615 9\n"), kMax64);
  for (const char* bad : {"", "0.33 0.16 0.07 1/234 5812", "0.33 0.16 0.07\n", "0.3 0.1 0.0 234\n",
                          "0.3 0.1 0.0 1/\n", "0.3 0.1 0.0 /5\n", "0.3 0.1 0.0 1/2x\n",
                          "0.3 0.1 0.0 1/18446744073709551616\n"}) {
    EXPECT_FALSE(ParseLoadavgTasks(bad)) << bad;
  }
}

TEST(ResourceParsers, NumberFiles) {
  EXPECT_EQ(ParseNumberFile("32768\n"), 32768u);
  EXPECT_EQ(ParseNumberFile(" \t7\r\v\f \n"), 7u);
  EXPECT_EQ(ParseNumberFile("18446744073709551615\n"), kMax64);
  for (const char* bad :
       {"", "\n", "327", "32768 1\n", "-1\n", "max\n", "18446744073709551616\n"}) {
    EXPECT_FALSE(ParseNumberFile(bad)) << bad;
  }
}

TEST(ResourceParsers, FileNr) {
  auto files = ParseFileNr("436\t0\t2466248\n");
  ASSERT_TRUE(files);
  EXPECT_EQ(files->allocated, 436u);
  EXPECT_EQ(files->unused, 0u);
  EXPECT_EQ(files->max, 2466248u);
  EXPECT_EQ(ParseFileNr("1 0 9223372036854775807\n")->max, 9223372036854775807u);
  for (const char* bad : {"", "436\t0\n", "436\t0\t2466248", "436 0 2466248 1\n", "a b c\n",
                          "1 0 99999999999999999999\n"}) {
    EXPECT_FALSE(ParseFileNr(bad)) << bad;
  }
}

TEST(ResourceParsers, PidsMax) {
  auto unlimited = ParsePidsMax("max\n");
  ASSERT_TRUE(unlimited);
  EXPECT_TRUE(unlimited->unlimited);
  auto limited = ParsePidsMax("4915\n");
  ASSERT_TRUE(limited);
  EXPECT_FALSE(limited->unlimited);
  EXPECT_EQ(limited->value, 4915u);
  for (const char* bad : {"", "max", "maximum\n", "12x\n", "12 13\n", "-1\n"}) {
    EXPECT_FALSE(ParsePidsMax(bad)) << bad;
  }
}

TEST(ResourceParsers, ProcCgroup) {
  const struct {
    const char* name;
    const char* text;
    const char* unified;
    const char* pids;
  } cases[] = {
      {"unified only", "0::/user.slice/user-1000.slice/session-2.scope\n",
       "/user.slice/user-1000.slice/session-2.scope", ""},
      {"hybrid", "12:pids:/user.slice/user-1000.slice\n3:cpu,cpuacct:/\n0::/user.slice\n",
       "/user.slice", "/user.slice/user-1000.slice"},
      {"pids among several controllers", "4:cpu,pids,memory:/a\n", "", "/a"},
      {"a colon inside the path", "0::/odd:name.scope\n", "/odd:name.scope", ""},
      {"named hierarchy is not unified", "1:name=systemd:/x\n", "", ""},
      {"a cut last line is dropped", "12:pids:/a\n0::/b", "", "/a"},
      {"noise", "garbage\n::\n0:\n0::relative\n", "", ""},
      {"empty", "", "", ""},
  };
  for (const auto& c : cases) {
    CgroupPaths paths = ParseProcCgroup(c.text);
    EXPECT_EQ(paths.unified, c.unified) << c.name;
    EXPECT_EQ(paths.pids, c.pids) << c.name;
  }
}

TEST(ResourceParsers, FreePercentRoundsDownExactly) {
  const struct {
    uint64_t used, total;
    int32_t free;
  } cases[] = {
      {0, 100, 100},
      {1, 100, 99},
      {50, 100, 50},
      {99, 100, 1},
      {100, 100, 0},
      {250, 100, 0},
      {1, 3, 66},
      {0, 0, 0},
      {5, 0, 0},
      {1, 32768, 99},
      {327, 32768, 99},
      {328, 32768, 98},
      {1, kMax64, 99},
      {0, kMax64, 100},
      {kMax64 - 1, kMax64, 0},
      {kMax64 / 2, kMax64, 50},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FreePercent(c.used, c.total), c.free) << c.used << " of " << c.total;
  }
}

// A machine laid out under a scratch directory: proc/ and sys/.
class FreeResourcesTest : public ::testing::Test {
 protected:
  FreeResourcesTest() {
    dir.Write("proc/loadavg", "0.50 0.40 0.30 2/234 5812\n");
    dir.Write("proc/sys/kernel/pid_max", "32768\n");
    dir.Write("proc/sys/kernel/threads-max", "1000\n");
    dir.Write("proc/sys/fs/file-nr", "1000\t0\t10000\n");
  }

  LinuxFreeResources Make(uint32_t uid = 1000) {
    doors.push_back(std::make_unique<ProcFs>(dir.Path("proc")));
    return LinuxFreeResources(*doors.back(), dir.Path("sys"), uid, [this] { return limit; });
  }

  // A desktop session on the unified hierarchy.
  void UserSession(const std::string& sliceMax, const std::string& sliceCurrent) {
    dir.Write("proc/self/cgroup", "0::/user.slice/user-1000.slice/session-2.scope\n");
    const std::string slice = "sys/fs/cgroup/user.slice/user-1000.slice/";
    dir.Write("sys/fs/cgroup/cgroup.controllers", "cpu memory pids\n");
    dir.Write("sys/fs/cgroup/user.slice/pids.max", "max\n");
    dir.Write("sys/fs/cgroup/user.slice/pids.current", "400\n");
    dir.Write(slice + "pids.max", sliceMax);
    dir.Write(slice + "pids.current", sliceCurrent);
    dir.Write(slice + "session-2.scope/pids.max", "max\n");
    dir.Write(slice + "session-2.scope/pids.current", "30\n");
  }

  testing_support::ScratchDir dir;
  std::optional<uint64_t> limit;  // RLIMIT_NPROC; nullopt: unlimited
  std::vector<std::unique_ptr<ProcFs>> doors;
};

TEST_F(FreeResourcesTest, SystemTaskSlotsAgainstTheSmallerLimit) {
  auto resources = Make();
  // 234 tasks of min(32768, 1000) slots: 76.6 % free
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceSystem), 76);
  dir.Write("proc/sys/kernel/threads-max", "100000\n");
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceSystem), 99);
  dir.Write("proc/loadavg", "9 9 9 1/40000 1\n");
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceSystem), 0);
}

TEST_F(FreeResourcesTest, SystemTaskSlotsWithOneLimitUnreadable) {
  auto resources = Make();
  dir.Remove("proc/sys/kernel/threads-max");
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceSystem), 99);  // 234 of 32768
  dir.Remove("proc/sys/kernel/pid_max");
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceSystem), std::nullopt);
  dir.Write("proc/sys/kernel/pid_max", "32768\n");
  dir.Write("proc/loadavg", "garbage\n");
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceSystem), std::nullopt);
}

TEST_F(FreeResourcesTest, FileHandles) {
  auto resources = Make();
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceGdi), 90);
  // Older kernels keep freed handles as "unused"; they are free again.
  dir.Write("proc/sys/fs/file-nr", "3000 1000 10000\n");
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceGdi), 80);
  dir.Write("proc/sys/fs/file-nr", "5 9 10000\n");
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceGdi), 100);
  dir.Write("proc/sys/fs/file-nr", "436 0 9223372036854775807\n");
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceGdi), 99);
  dir.Write("proc/sys/fs/file-nr", "436 0\n");
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceGdi), std::nullopt);
  dir.Remove("proc/sys/fs/file-nr");
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceGdi), std::nullopt);
}

TEST_F(FreeResourcesTest, UserWithoutAnyLimitHasAllFree) {
  UserSession("max\n", "250\n");
  EXPECT_EQ(Make().GetFreeSystemResources(platform::kResourceUser), 100);
}

TEST_F(FreeResourcesTest, UserTaskLimitCountsTheTasksOfTheUsersSlice) {
  UserSession("max\n", "250\n");
  limit = 1000;
  auto resources = Make();
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceUser), 75);
  dir.Write("sys/fs/cgroup/user.slice/user-1000.slice/pids.current", "1200\n");
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceUser), 0);
}

TEST_F(FreeResourcesTest, RootIsNotHeldToTheTaskLimit) {
  dir.Write("proc/self/cgroup", "0::/\n");
  limit = 10;
  EXPECT_EQ(Make(0).GetFreeSystemResources(platform::kResourceUser), 100);
}

TEST_F(FreeResourcesTest, TheTighterOfTaskLimitAndCgroupLimitsCounts) {
  UserSession("400\n", "300\n");  // the slice allows 400 tasks, 300 are running
  limit = 1000;
  auto resources = Make();
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceUser), 25);
  limit = 310;  // 300 of 310
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceUser), 3);
  limit = std::nullopt;
  dir.Write("sys/fs/cgroup/user.slice/user-1000.slice/session-2.scope/pids.max", "40\n");
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceUser), 25) << "30 of 40";
  dir.Write("sys/fs/cgroup/user.slice/user-1000.slice/session-2.scope/pids.current", "39\n");
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceUser), 2) << "39 of 40";
}

TEST_F(FreeResourcesTest, CgroupLimitAppliesToRootToo) {
  UserSession("400\n", "300\n");
  EXPECT_EQ(Make(0).GetFreeSystemResources(platform::kResourceUser), 25);
}

TEST_F(FreeResourcesTest, HybridMachineUsesTheUnifiedAndThePidsHierarchies) {
  dir.Write("proc/self/cgroup", "5:pids:/user.slice/user-1000.slice\n0::/user.slice\n");
  dir.Write("sys/fs/cgroup/unified/user.slice/pids.max", "max\n");
  dir.Write("sys/fs/cgroup/pids/user.slice/user-1000.slice/pids.max", "200\n");
  dir.Write("sys/fs/cgroup/pids/user.slice/user-1000.slice/pids.current", "50\n");
  EXPECT_EQ(Make().GetFreeSystemResources(platform::kResourceUser), 75);
}

TEST_F(FreeResourcesTest, WithoutAUserSliceTheMachinesTaskCountStandsInForTheUsers) {
  dir.Write("proc/self/cgroup", "0::/\n");
  limit = 468;  // 234 tasks on the machine
  auto resources = Make();
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceUser), 50);
  dir.Remove("proc/loadavg");
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceUser), std::nullopt);
}

TEST_F(FreeResourcesTest, AnUnreadableCgroupCountIsNoFigure) {
  UserSession("400\n", "300\n");
  auto resources = Make();
  dir.Remove("sys/fs/cgroup/user.slice/user-1000.slice/pids.current");
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceUser), std::nullopt);
  // A cgroup whose limit file went away (the cgroup was removed) no longer limits.
  dir.Remove("sys/fs/cgroup/user.slice/user-1000.slice/pids.max");
  EXPECT_EQ(resources.GetFreeSystemResources(platform::kResourceUser), 100);
}

TEST_F(FreeResourcesTest, PathsLeadingOutOfTheHierarchyAreNotFollowed) {
  dir.Write("proc/self/cgroup", "0::/../../outside\n");
  dir.Write("outside/pids.max", "10\n");
  dir.Write("outside/pids.current", "10\n");
  EXPECT_EQ(Make().GetFreeSystemResources(platform::kResourceUser), 100);
}

TEST_F(FreeResourcesTest, UnknownSelectorHasNoFigure) {
  auto resources = Make();
  EXPECT_EQ(resources.GetFreeSystemResources(3), std::nullopt);
  EXPECT_EQ(resources.GetFreeSystemResources(-1), std::nullopt);
}

TEST(LinuxFreeResources, TheRunningMachineGivesFiguresFrom0To100) {
  ProcFs proc("/proc");
  LinuxFreeResources resources(proc);
  for (int32_t selector :
       {platform::kResourceSystem, platform::kResourceGdi, platform::kResourceUser}) {
    auto free = resources.GetFreeSystemResources(selector);
    ASSERT_TRUE(free) << "selector " << selector;
    EXPECT_GE(*free, 0);
    EXPECT_LE(*free, 100);
  }
}

}  // namespace
}  // namespace pelmora::platform::linux_os
