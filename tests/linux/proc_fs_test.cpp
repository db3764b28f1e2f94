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
  testing_support::ScratchDir dir;  // plain files: no link, argv[0] if absolute
  dir.Write("7/cmdline", std::string("/opt/x\0-a\0", 10));
  dir.Write("8/cmdline", std::string("relative\0", 9));
  ProcFs tree(dir.Root());
  ReadStatus status;
  EXPECT_EQ(tree.ReadArgv0Path(7, status), "/opt/x");
  EXPECT_EQ(tree.ReadArgv0Path(8, status), "");
  EXPECT_FALSE(tree.procfs() || tree.ReadExeLink(7));

  ProcFs proc("/proc");
  const pid_t self = ::getpid();
  ASSERT_TRUE(proc.procfs() && proc.ReadExeLink(self));
  EXPECT_EQ(*proc.ReadExeLink(self), std::filesystem::read_symlink("/proc/self/exe").string());
  EXPECT_TRUE(proc.ExeInode(self) != 0 && proc.CountDescriptors(self) >= 3);
  EXPECT_EQ(proc.PidfdPid(PidfdOpen(self).get()), self);
  std::string text;
  for (int which = 0; which < static_cast<int>(kSystemTexts); ++which) {
    EXPECT_TRUE(HasText(proc.ReadSystemText(static_cast<SystemText>(which), text))) << which;
  }
  EXPECT_EQ(proc.ReadSelfCgroup(text), ReadStatus::kOk);
}

struct Holder : FileHolder {
  size_t GiveBack(int from, size_t count) override {
    asked.emplace_back(from, count);
    return 10;  // held still
  }
  std::vector<std::pair<int, size_t>> asked;
};

TEST(ProcFsTest, HeldFilesKeepTheReserveFreeAndGiveWayWhenDescriptorsRunShort) {
  testing_support::ScratchDir dir;
  dir.Write("1/stat", testing_support::StatLine(1, "init"));
  std::optional<uint64_t> limit = 1000;
  uint64_t now = 0;
  int fail = 0;
  ProcFs proc(dir.Root(), {.listingClock = [&] { return now; },
                           .fileLimit = [&] { return limit; },
                           .openAt = [&](int at, const char* name, int flags) {
                             return fail != 0 ? (errno = fail, -1) : ::openat(at, name, flags);
                           }});
  Holder holder;
  proc.SetHolder(&holder);
  EXPECT_TRUE(proc.MayHold(874, 0) && !proc.MayHold(875, 0)) << "an eighth stays free";
  // Lowered from outside: what is held at or above the new ceiling goes.
  Listing listing;
  for (const auto& [lowered, ceiling] : {std::pair{100, 36}, std::pair{50, 0}}) {
    limit = lowered;
    proc.List(listing);
    EXPECT_EQ(proc.ceiling(), ceiling) << "at least 64 stay free";
    EXPECT_EQ(holder.asked.back(), std::pair(ceiling, size_t{0}));
  }
  // ENFILE: a reserve's worth given back, the open tried once more;
  // transient reads go on, nothing is held anew until the limit rises (or
  // thirty seconds pass).
  limit = 800;
  proc.List(listing);
  ReadStatus status;
  fail = ENFILE;
  EXPECT_FALSE(proc.OpenStat(1, status).valid());
  EXPECT_EQ(status, ReadStatus::kNoRoom);
  EXPECT_EQ(holder.asked.back(), std::pair(INT_MAX, size_t{100}));
  fail = 0;
  EXPECT_TRUE(proc.OpenStat(1, status).valid());
  EXPECT_TRUE(!proc.MayHold(3, 10) && proc.MayHold(3, 9));
  now += 30 * static_cast<uint64_t>(::sysconf(_SC_CLK_TCK)) - 1;
  proc.List(listing);
  EXPECT_FALSE(proc.MayHold(3, 10));
  ++now;
  proc.List(listing);
  EXPECT_TRUE(proc.MayHold(3, 10));
  EXPECT_EQ(listing.listedAt, now) << "listed by the listing's clock";
}

}  // namespace
}  // namespace pelmora::platform::linux_os
