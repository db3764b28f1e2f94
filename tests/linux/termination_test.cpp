// SPDX-License-Identifier: MIT
// Selection and termination end to end on Linux: the process table over the
// real snapshot and pidfds, with recording fakes for the list, the status bar
// and the message box, against real child processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fakes/toolkit_fakes.h"
#include "fakes/platform_fakes.h"
#include "platform/linux/control/linux_process_control.h"
#include "platform/linux/walk/linux_process_snapshot.h"
#include "processes/process_table.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"

namespace pelmora::platform::linux_os {
namespace {

using testing_support::Child;
using testing_support::ChildOptions;
using testing_support::ScratchDir;

struct Window {
  Window() : table({list, statusBar, msgBox, text}) {}
  // Refreshes and clicks the row of the process with this ID.
  void ClickProcess(pid_t pid) {
    table.Command1_Click(source);
    for (int64_t row = 1; row <= table.ProcessCount; ++row) {
      if (table.ProcessIds[row] == pid) {
        list.selected = row;
        table.ListView1_Click();
        return;
      }
    }
    ADD_FAILURE() << "process " << pid << " is not listed";
  }
  fakes::FakeListView list;
  fakes::FakeStatusBar statusBar;
  fakes::FakeMessageBox msgBox;
  fakes::FakeTextServices text;
  fakes::FakeTickClock clock;
  LinuxProcessSnapshotSource source{"/proc", 64, clock};
  LinuxProcessControl control;
  processes::ProcessTable table;
};

bool Running(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, WNOHANG) == 0;
}

TEST(Termination, TheClickedInstanceEndsKilledAndCancelSparesIt) {
  ScratchDir dir;
  const std::string program = dir.Root() + "/Worker";
  testing_support::CopyProgram(program);
  Child first(program);
  Child second(program);
  ASSERT_TRUE(testing_support::PollUntil([&] {
    return testing_support::ExeTarget(first.pid()) == program &&
           testing_support::ExeTarget(second.pid()) == program;
  }));

  Window w;
  w.ClickProcess(second.pid());
  EXPECT_EQ(w.statusBar.panels[0], w.text.LowerCase(program)) << "the key is the lower-cased path";
  EXPECT_NE(w.statusBar.panels[0], program);

  w.msgBox.answers = {toolkit::kIdCancel};
  w.table.Command2_Click(w.control);
  ASSERT_EQ(w.msgBox.shown.size(), 1u);
  EXPECT_TRUE(Running(first.pid()));
  EXPECT_TRUE(Running(second.pid())) << "Cancel leaves the process running";

  w.msgBox.answers = {toolkit::kIdOk};
  w.table.Command2_Click(w.control);
  const int status = second.Reap();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  EXPECT_TRUE(Running(first.pid())) << "the other instance of the program is not touched";

  // Pressed again before the list is rebuilt: the ID names nothing now.
  w.table.Command2_Click(w.control);
  EXPECT_EQ(w.msgBox.shown.size(), 3u);
  EXPECT_TRUE(Running(first.pid()));
}

TEST(Termination, AnotherUsersProcessIsNotEndedByAnUnprivilegedWindow) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run processes as other users";
  ScratchDir dir;
  const std::string program = dir.Root() + "/theirs";
  testing_support::CopyProgram(program);
  ChildOptions nobody;
  nobody.uid = 65534;
  Child target(program, nobody);
  ASSERT_TRUE(testing_support::PollUntil([&] { return testing_support::Asleep(target.pid()); }));

  // The window runs as an ordinary user, 12345.
  const std::optional<std::string> shown = testing_support::RunAsUser(12345, [&] {
    Window w;
    w.ClickProcess(target.pid());
    w.table.Command2_Click(w.control);  // answered OK
    return std::to_string(w.msgBox.shown.size());
  });
  ASSERT_TRUE(shown.has_value());
  EXPECT_EQ(*shown, "1") << "the warning only: nothing else is reported";
  EXPECT_TRUE(Running(target.pid()));
}

}  // namespace
}  // namespace pelmora::platform::linux_os
