// SPDX-License-Identifier: MIT
// The records of the listed processes: one per PID listed, and held files
// within their budget, let go with their process.
#include "platform/linux/walk/process_records.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>

#include "platform/linux/io/pidfd.h"
#include "support/child_process.h"

namespace pelmora::platform::linux_os {
namespace {

UniqueFd DevNull() { return UniqueFd(::open("/dev/null", O_RDONLY | O_CLOEXEC)); }

TEST(ProcessRecordsTest, OneRecordPerListedPidAndHeldFilesWithinTheBudget) {
  ProcFs door("/proc", {.maxHeld = 2});
  ProcessRecords records(&door);
  records.Relist({10, 20, 30});
  ASSERT_EQ(records.size(), 3u);
  records[0].name = base::SharedText("/bin/ten");
  EXPECT_TRUE(records.Keep(records[0], Hold::kStat, DevNull()));
  EXPECT_TRUE(records.Keep(records[2], Hold::kStat, DevNull()));
  EXPECT_FALSE(records.Keep(records[1], Hold::kStat, DevNull())) << "the budget is spent";
  EXPECT_TRUE(records.Keep(records[0], Hold::kStat, DevNull())) << "in place of its own";
  EXPECT_EQ(records.held(), 2u);

  // 30 is no longer listed: its file goes with it, and 40 is new.
  records.Relist({10, 20, 40});
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].name, "/bin/ten");
  EXPECT_EQ(records[0].hold, Hold::kStat);
  EXPECT_EQ(records[2].pid, 40);
  EXPECT_EQ(records[2].hold, Hold::kNone);
  EXPECT_EQ(records.held(), 1u);
  EXPECT_TRUE(records.Keep(records[1], Hold::kStat, DevNull()));
  records.Release(records[0]);
  EXPECT_EQ(records.held(), 1u);
}

TEST(ProcessRecordsTest, AKernelThreadsPidfdIsLetGoOnceItEnds) {
  testing_support::Child child("/bin/sleep");
  ProcFs door("/proc");
  ProcessRecords records(&door);
  records.Relist({child.pid()});
  records[0].kernelThread = true;
  ASSERT_TRUE(records.Keep(records[0], Hold::kPidfd, PidfdOpen(child.pid())));
  records.Relist({child.pid()});
  EXPECT_EQ(records[0].hold, Hold::kPidfd) << "alive: held on";
  child.Signal(SIGKILL);
  child.Reap();
  records.Relist({child.pid()});
  EXPECT_EQ(records[0].hold, Hold::kNone);
  EXPECT_FALSE(records[0].kernelThread) << "whoever has the PID now is read afresh";
  EXPECT_EQ(records.held(), 0u);
}

}  // namespace
}  // namespace pelmora::platform::linux_os
