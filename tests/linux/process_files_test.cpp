// SPDX-License-Identifier: MIT
// The reads of one process's files, and the one text reader under them.
#include "platform/linux/io/process_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "support/child_process.h"
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

TEST(ProcessFilesTest, AStatFileOpenedForOneProcessNeverReadsAnother) {
  // Once its process is reaped, a stat file opened before says so,
  // whoever takes the PID next.
  testing_support::Child child("/bin/sleep");
  const UniqueFd proc(::open("/proc", O_RDONLY | O_DIRECTORY));
  ProcessFiles files(proc.get(), child.pid());
  EXPECT_EQ(files.Name("fdinfo/", 7), std::to_string(child.pid()) + "/fdinfo/7");
  ReadStatus status;
  const UniqueFd stat = OpenStat(files, status);
  ReadBuffers buffers;
  ASSERT_TRUE(ReadStat(stat.get(), true, buffers, status).has_value());
  child.Signal(SIGKILL);
  child.Reap();
  EXPECT_FALSE(ReadStat(stat.get(), true, buffers, status).has_value());
  EXPECT_EQ(status, ReadStatus::kGone);
}

}  // namespace
}  // namespace pelmora::platform::linux_os
