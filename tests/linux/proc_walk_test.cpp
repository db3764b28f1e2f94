// SPDX-License-Identifier: MIT
// The walk against /proc trees written by the test: the cases a live system
// shows only by chance, and what the check and the rebuild agree on.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "fakes/platform_fakes.h"
#include "platform/linux/walk/linux_process_snapshot.h"
#include "support/fake_proc.h"
#include "support/walk_source.h"

namespace pelmora::platform::linux_os {
namespace {

using testing_support::CheckPaths;
using testing_support::kKernelFlags;
using testing_support::RowPaths;
using testing_support::Rows;
using testing_support::StatLine;
using Paths = std::vector<std::string>;

class ProcWalkTest : public testing::Test {
 protected:
  // A check, then the rebuild it would start; the second check that
  // follows finds nothing changed.
  Paths CheckAndRebuild(Paths* checked = nullptr) {
    auto snapshot = source_.CreateToolhelp32Snapshot();
    const Paths paths = CheckPaths(*snapshot);
    if (checked) *checked = paths;
    Paths rows = RowPaths(*snapshot);
    snapshot.reset();
    EXPECT_EQ(Check(), rows) << "the next check finds what the rebuild shows";
    return rows;
  }
  Paths Check() { return CheckPaths(*source_.CreateToolhelp32Snapshot()); }
  // A rebuild of a fresh snapshot, as 更新 asks.
  Paths Refresh() { return RowPaths(*source_.CreateToolhelp32Snapshot()); }

  testing_support::FakeProc proc_;
  fakes::FakeTickClock clock_;
  testing_support::WalkSource source_{proc_.Root(), 16, clock_};
};

TEST_F(ProcWalkTest, EveryKindOfEntry) {
  const std::string program = proc_.Root() + "/../Program";
  std::ofstream(program) << "binary";
  struct stat st {};
  ASSERT_EQ(::stat(program.c_str(), &st), 0);

  proc_.Process(100, "Program", program);
  proc_.Fds("100", 4);
  proc_.Process(2, "kthreadd", "", "", kKernelFlags);
  // No link (as for a zombie or another user's process), absolute argv[0].
  proc_.Process(9, "worker", "", std::string("/opt/App Dir/worker\0--flag\0", 27));
  // Link unreadable (no link at all), relative argv[0]: the command name,
  // blanks and all; and an empty command name, which names it all the same.
  proc_.Process(20, "my ) name", "", std::string("worker\0", 7));
  proc_.Process(21, "", "", std::string("relative\0", 9));
  // Link readable, stat garbled: listed with zeros. No link, an absolute
  // argv[0], stat garbled: likewise, since no kernel thread has an argv[0].
  proc_.Link("30", "/usr/bin/Garbled");
  proc_.Write("30", "stat", "nonsense");
  proc_.Write("31", "stat", "nonsense");
  proc_.Write("31", "cmdline", std::string("/bin/x\0", 7));
  // No link, relative argv[0], stat garbled: nothing tells what it is.
  proc_.Write("32", "stat", "nonsense");
  proc_.Write("32", "cmdline", std::string("x\0", 2));
  // Dangling link: the path stands, the inode is unknown.
  proc_.Process(40, "gone", proc_.Root() + "/gone");
  // A huge argv[0] with no NUL is no path, and a stat padded to 1 MiB is
  // read from its first line; a command name of 100 KiB fills the stat's
  // cap without ending its line: unreadable, and skipped.
  proc_.Write("8", "cmdline", "/" + std::string(200 * 1024, 'x'));
  proc_.Write("8", "stat", StatLine(8, "x") + std::string(1 << 20, ' '));
  proc_.Write("7", "stat", "7 (" + std::string(100 * 1024, ')') + ") S 1");
  // Not processes.
  proc_.Write("sys", "x", "");
  proc_.Write("007", "x", "");
  std::ofstream(proc_.Dir("42")) << "a file, not a directory";

  Paths checked;
  const Paths expected = {"x",      "/opt/App Dir/worker", "my ) name",
                          "",       "/usr/bin/Garbled",    "/bin/x",
                          proc_.Root() + "/gone", program};
  EXPECT_EQ(CheckAndRebuild(&checked), expected);
  EXPECT_EQ(checked, expected);

  const auto rows = Rows(*source_.CreateToolhelp32Snapshot());
  ASSERT_EQ(rows.size(), expected.size());
  EXPECT_EQ(rows[1].th32ProcessID, 9);
  EXPECT_EQ(rows[1].cntUsage, 0);  // no fd directory
  EXPECT_EQ(rows[1].cntThreads, 9 % 7 + 1);
  EXPECT_EQ(rows[1].startTime, 900u);
  EXPECT_EQ(rows[1].th32DefaultHeapID, 9u * 4096);
  for (const size_t garbled : {4, 5}) {
    EXPECT_EQ(rows[garbled].cntThreads, 0);
    EXPECT_EQ(rows[garbled].startTime, 0u);
    EXPECT_EQ(rows[garbled].th32ParentProcessID, 0);
  }
  EXPECT_EQ(rows[6].th32ModuleID, 0u);
  EXPECT_EQ(rows[7].cntUsage, 4);
  EXPECT_EQ(rows[7].th32ModuleID, st.st_ino);
  EXPECT_EQ(rows[7].pcPriClassBase, 20);
}

TEST_F(ProcWalkTest, LongestLinkTheKernelCanHoldIsReadWhole) {
  // A link target holds at most 4095 bytes, the most /proc ever reports.
  std::string target = "/";
  while (target.size() < 4095) target += "a/";
  target.resize(4095);
  target.back() = 'Z';
  proc_.Process(3, "Z", target);
  EXPECT_EQ(CheckAndRebuild(), Paths({target}));
}

TEST(ProcWalkListingClock, ANameReadBeforeAWitnessOpenedNowStandsForAProcessListedRunning) {
  // Held nothing, the rebuild opens its witness after the check named the
  // process: the name stands only if the stat's process started before the
  // listing; one that started since took the PID and is named afresh.
  for (const uint64_t listedAt : {901u, 900u}) {  // pid 9 started at 900
    testing_support::FakeProc proc;
    fakes::FakeTickClock clock;
    testing_support::WalkSource source(proc.Root(), 0, clock,
                                       {.listingClock = [listedAt] { return listedAt; }});
    proc.Process(9, "worker", "", std::string("/bin/old\0", 9));
    ASSERT_EQ(RowPaths(*source.CreateToolhelp32Snapshot()), Paths{"/bin/old"});
    auto snapshot = source.CreateToolhelp32Snapshot();
    ASSERT_EQ(CheckPaths(*snapshot), Paths{"/bin/old"});
    proc.Write("9", "cmdline", std::string("/bin/new\0", 9));
    EXPECT_EQ(RowPaths(*snapshot), Paths{listedAt > 900 ? "/bin/old" : "/bin/new"}) << listedAt;
  }
}

TEST(ProcWalkRoot, AMissingRootListsNothing) {
  fakes::FakeTickClock clock;
  testing_support::WalkSource source("/nonexistent/proc", 16, clock);
  auto snapshot = source.CreateToolhelp32Snapshot();
  ProcessEntry entry;
  entry.th32ProcessID = 77;
  EXPECT_FALSE(snapshot->Process32First(entry));
  EXPECT_EQ(entry.th32ProcessID, 77);  // untouched
  base::SharedText path;
  EXPECT_FALSE(snapshot->PathFirst(path));
}

TEST_F(ProcWalkTest, AnOlderSnapshotReadsItsOwnListingAfresh) {
  proc_.Process(5, "Program", "/bin/Program");
  auto before = source_.CreateToolhelp32Snapshot();
  proc_.Process(4, "New", "/bin/New");
  auto after = source_.CreateToolhelp32Snapshot();
  EXPECT_EQ(CheckPaths(*before), Paths({"/bin/Program"}));
  EXPECT_EQ(CheckPaths(*after), Paths({"/bin/New", "/bin/Program"}));
  EXPECT_EQ(RowPaths(*before), Paths({"/bin/Program"}));
  EXPECT_EQ(source_.HeldFiles(), 0u) << "an older listing keeps nothing";
}

TEST_F(ProcWalkTest, NamesRewrittenInPlaceShowWhenRereadEveryThirtySeconds) {
  proc_.Process(9, "worker", "", std::string("/opt/a\0", 7));
  EXPECT_EQ(CheckAndRebuild(), Paths({"/opt/a"}));  // reads every name: the first rebuild
  EXPECT_EQ(source_.HeldFiles(), 1u);

  // argv[0] rewritten in place: the same program, named as before by the
  // checks, and by a rebuild within thirty seconds of the last that read it.
  proc_.Write("9", "cmdline", std::string("/opt/renamed\0", 13));
  proc_.Process(10, "other", "/bin/other");
  clock_.now = 29'999;
  EXPECT_EQ(CheckAndRebuild(), Paths({"/opt/a", "/bin/other"}));
  proc_.Remove("10");
  clock_.now = 30'000;
  EXPECT_EQ(CheckAndRebuild(), Paths({"/opt/renamed"}));
  // 更新 reads every name, whenever.
  proc_.Write("9", "cmdline", std::string("/opt/again\0", 11));
  EXPECT_EQ(Refresh(), Paths({"/opt/again"}));
  EXPECT_EQ(Check(), Paths({"/opt/again"}));
}

TEST_F(ProcWalkTest, ANewProgramAndAKernelThreadsPidTakenOverShowAtTheNextCheck) {
  proc_.Process(7, "kworker", "", "", kKernelFlags);
  proc_.Process(9, "worker", "", std::string("/opt/a\0", 7));
  EXPECT_EQ(Check(), Paths({"/opt/a"}));
  EXPECT_EQ(source_.HeldFiles(), 2u);

  // A new program under another command name.
  proc_.Process(9, "other", "", std::string("/opt/b\0", 7));
  EXPECT_EQ(Check(), Paths({"/opt/b"}));

  // The kernel thread ends and a user process takes its PID.
  proc_.Remove("7");
  proc_.Process(7, "app", "/usr/bin/app");
  EXPECT_EQ(CheckAndRebuild(), Paths({"/usr/bin/app", "/opt/b"}));
}

TEST_F(ProcWalkTest, APidTakenOverAfterTheCheckShowsItsNewProcessAtOnce) {
  // "5" is held from a rebuild; after the check read its link, another
  // process takes the PID. The rebuild reads the newcomer afresh: neither
  // process's figures appear under the other's name.
  proc_.Process(5, "first", "/bin/first");
  EXPECT_EQ(Refresh(), Paths({"/bin/first"}));

  auto snapshot = source_.CreateToolhelp32Snapshot();
  EXPECT_EQ(CheckPaths(*snapshot), Paths({"/bin/first"}));
  proc_.Remove("5");
  proc_.Write("5", "stat", StatLine({.pid = "5", .comm = "second", .threads = "9"}));
  proc_.Link("5", "/bin/second");
  const auto rows = Rows(*snapshot);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].szExeFile, "/bin/second");
  EXPECT_EQ(rows[0].cntThreads, 9);
  snapshot.reset();
  EXPECT_EQ(Check(), Paths({"/bin/second"}));
}

// A name is read once and held once: the check, the rebuild and the next
// check give the record's own bytes.
TEST_F(ProcWalkTest, ANameIsHeldOnceByCheckAndRebuild) {
  const std::string name = "/opt/" + std::string(4000, 'N');
  proc_.Process(8, "sleep", "", name + '\0');
  base::SharedText checked;
  auto snapshot = source_.CreateToolhelp32Snapshot();
  ASSERT_TRUE(snapshot->PathFirst(checked));
  const auto rows = Rows(*snapshot);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].szExeFile, name);
  EXPECT_EQ(rows[0].szExeFile.view().data(), checked.view().data());
  base::SharedText again;
  ASSERT_TRUE(source_.CreateToolhelp32Snapshot()->PathFirst(again));
  EXPECT_EQ(again.view().data(), checked.view().data());
}

}  // namespace
}  // namespace pelmora::platform::linux_os
