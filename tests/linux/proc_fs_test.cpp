// SPDX-License-Identifier: MIT
// The door to /proc: its reads, its descriptor budget and reserve, and the
// one text reader under them.
#include "platform/linux/io/proc_fs.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/io/pidfd.h"
#include "support/child_process.h"
#include "support/fake_proc.h"
#include "support/scratch_dir.h"

namespace pelmora::platform::linux_os {
namespace {

TEST(ProcReader, ATextThatFillsTheCapIsReportedAndAMissingOneIsGone) {
  testing_support::ScratchDir dir;
  dir.Write("short", "0 1 2\n");
  dir.Write("long", std::string(10000, 'x'));
  const UniqueFd root(::open(dir.Root().c_str(), O_RDONLY | O_DIRECTORY));
  std::string buffer;
  EXPECT_EQ(ReadTextAt(root.get(), "short", buffer, 4096), ReadStatus::kOk);
  EXPECT_EQ(buffer, "0 1 2\n");
  EXPECT_EQ(ReadTextAt(root.get(), "long", buffer, 4096), ReadStatus::kCapped);
  EXPECT_EQ(buffer, std::string(4096, 'x'));
  EXPECT_EQ(ReadTextAt(root.get(), "long", buffer, 20000), ReadStatus::kOk);
  EXPECT_EQ(buffer.size(), 10000u);
  EXPECT_EQ(ReadTextAt(root.get(), "none", buffer, 4096), ReadStatus::kGone);
  EXPECT_TRUE(buffer.empty());
}

TEST(ProcFsTest, AStatFileOpenedForOneProcessNeverReadsAnother) {
  // Once its process is reaped, a stat file opened before says so,
  // whoever takes the PID next.
  testing_support::Child child("/bin/sleep");
  ProcFs proc("/proc");
  ASSERT_TRUE(proc.procfs());
  ReadStatus status;
  const UniqueFd stat = proc.OpenStat(child.pid(), status);
  ASSERT_TRUE(proc.ReadStat(stat.get(), status).has_value());
  child.Signal(SIGKILL);
  child.Reap();
  EXPECT_FALSE(proc.ReadStat(stat.get(), status).has_value());
  EXPECT_EQ(status, ReadStatus::kGone);
}

TEST(ProcFsTest, TheTypedReadsOnATreeAndOnTheRealProc) {
  // A tree reads as plain files: no link, argv[0] only when absolute.
  testing_support::ScratchDir dir;
  dir.Write("7/cmdline", std::string("/opt/x\0-a\0", 10));
  dir.Write("8/cmdline", std::string("relative\0", 9));
  ProcFs tree(dir.Root());
  ReadStatus status;
  EXPECT_EQ(tree.ReadArgv0Path(7, status), "/opt/x");
  EXPECT_EQ(tree.ReadArgv0Path(8, status), "");
  EXPECT_EQ(tree.ReadArgv0Path(9, status), "");
  EXPECT_EQ(status, ReadStatus::kGone);
  EXPECT_FALSE(tree.procfs() || tree.ReadExeLink(7));

  // The real /proc: this program's own files, and the system's texts.
  ProcFs proc("/proc");
  const pid_t self = ::getpid();
  ASSERT_TRUE(proc.procfs() && proc.ReadExeLink(self));
  EXPECT_EQ(*proc.ReadExeLink(self), std::filesystem::read_symlink("/proc/self/exe").string());
  EXPECT_NE(proc.ExeInode(self), 0u);
  EXPECT_GE(proc.CountDescriptors(self).value_or(0), 3);
  EXPECT_EQ(proc.PidfdPid(PidfdOpen(self).get()), self);
  std::string text;
  for (int which = 0; which < static_cast<int>(kSystemTexts); ++which) {
    EXPECT_TRUE(HasText(proc.ReadSystemText(static_cast<SystemText>(which), text))) << which;
  }
  EXPECT_EQ(proc.ReadSelfCgroup(text), ReadStatus::kOk);
}

// A holder that tells what it is asked to give back.
struct Holder : FileHolder {
  size_t GiveBack(int from, size_t count) override {
    asked.emplace_back(from, count);
    return held;
  }
  std::vector<std::pair<int, size_t>> asked;
  size_t held = 0;
};

TEST(ProcFsTest, HeldFilesKeepTheReserveFreeAndGiveWayWhenDescriptorsRunShort) {
  testing_support::ScratchDir dir;
  dir.Write("1/stat", testing_support::StatLine(1, "init"));
  std::optional<uint64_t> limit = 1000;
  uint64_t now = 0;
  int failWith = 0;
  ProcFs proc(dir.Root(), {.listingClock = [&] { return now; },
                           .fileLimit = [&] { return limit; },
                           .openAt = [&](int at, const char* name, int flags) {
                             errno = failWith;
                             return failWith != 0 ? -1 : ::openat(at, name, flags);
                           }});
  Holder holder;
  proc.SetHolder(&holder);
  EXPECT_EQ(proc.ceiling(), 875) << "an eighth of the limit stays free";
  EXPECT_TRUE(proc.MayHold(874, 0));
  EXPECT_FALSE(proc.MayHold(875, 0));

  // The limit lowered from outside: at the next listing, what is held at or
  // above the new ceiling goes.
  Listing listing;
  limit = 100;
  proc.List(listing);
  EXPECT_EQ(proc.ceiling(), 36) << "at least 64 stay free";
  EXPECT_EQ(holder.asked, (std::vector<std::pair<int, size_t>>{{36, 0}}));
  limit = 50;
  proc.List(listing);
  EXPECT_EQ(proc.ceiling(), 0) << "under the reserve nothing is held";

  // EMFILE or ENFILE: a reserve's worth is given back and the open tried
  // once more; transient reads go on, but nothing is held anew until the
  // limit rises or thirty seconds pass.
  for (const int error : {ENFILE, EMFILE}) {
    limit = 1000 + error;
    proc.List(listing);
    holder.asked.clear();
    holder.held = 10;
    failWith = error;
    ReadStatus status;
    EXPECT_FALSE(proc.OpenStat(1, status).valid());
    EXPECT_EQ(status, ReadStatus::kNoRoom);
    const size_t eighth = (1000 + error) / 8;
    EXPECT_EQ(holder.asked, (std::vector<std::pair<int, size_t>>{{INT_MAX, eighth}}));
    failWith = 0;
    EXPECT_TRUE(proc.OpenStat(1, status).valid());
    EXPECT_FALSE(proc.MayHold(3, 10));
    EXPECT_TRUE(proc.MayHold(3, 9));
  }
  const auto hz = static_cast<uint64_t>(::sysconf(_SC_CLK_TCK));
  now += 30 * hz - 1;
  proc.List(listing);
  EXPECT_FALSE(proc.MayHold(3, 10));
  now += 1;
  proc.List(listing);
  EXPECT_TRUE(proc.MayHold(3, 10));
  EXPECT_EQ(listing.listedAt, now) << "listed by the listing's clock";
  EXPECT_EQ(listing.pids, std::vector<int64_t>{1});
}

}  // namespace
}  // namespace pelmora::platform::linux_os
