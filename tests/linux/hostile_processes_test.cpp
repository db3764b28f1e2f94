// SPDX-License-Identifier: MIT
// Processes with hostile names, read by the real Linux snapshot and shown
// by the window's logic.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <memory>
#include <string>

#include "fakes/form_harness.h"
#include "platform/linux/walk/linux_process_snapshot.h"
#include "support/child_process.h"
#include "support/walk_source.h"
#include "support/scratch_dir.h"
#include "toolkit/qt/text_services.h"
#include "toolkit/utf8.h"

namespace pelmora::fakes {
namespace {

using testing_support::Child;
using testing_support::ExeTarget;
using testing_support::PollUntil;
using testing_support::ProcessState;

constexpr std::string_view kFffd = "\xEF\xBF\xBD";

// A Form1 on the real process snapshot and the real text decoding, with
// fakes for the rest.
struct RealProcessesForm : FormHarness {
  RealProcessesForm() : FormHarness(false) {
    services.use.processes = &source;
    Rebuild(&decoder);
  }

  // The row of a process, from 1; 0 when it is not listed.
  int64_t RowOf(pid_t pid) const {
    const auto& table = window->Table();
    for (int64_t i = 1; i <= table.ProcessCount; ++i) {
      if (table.ProcessIds[i] == pid) return i;
    }
    return 0;
  }
  const std::string& Shown(int64_t row) const { return list.rows.at(row - 1)[0]; }
  // Every row is valid UTF-8 and the list matches the table.
  void ExpectConsistent() const {
    const auto& table = window->Table();
    ASSERT_EQ(static_cast<int64_t>(list.rows.size()), table.ProcessCount);
    EXPECT_EQ(statusBar.panels[2], std::to_string(table.ProcessCount));
    for (const auto& row : list.rows) {
      EXPECT_EQ(toolkit::ValidUtf8Prefix(row[0]), row[0].size());
    }
  }

  FakeTickClock clock;
  testing_support::WalkSource source{"/proc", 64, clock};
  toolkit::qt::QtTextServices decoder;
};

class HostileProcesses : public ::testing::Test {
 protected:
  // A running copy of sleep under this file name.
  std::unique_ptr<Child> Spawn(const std::string& name) {
    testing_support::CopyProgram(dir_.Path(name));
    auto child = std::make_unique<Child>(dir_.Path(name));
    return PollUntil([&] { return ExeTarget(child->pid()) == dir_.Path(name); }) ? std::move(child)
                                                                                 : nullptr;
  }
  // A child that ended and stays a zombie: without an executable or a
  // command line, its row shows the command name, the first 15 bytes of
  // the file name it ran.
  std::unique_ptr<Child> Zombie(const std::string& name) {
    auto child = Spawn(name);
    if (child) child->Signal(SIGKILL);
    return child;
  }

  testing_support::ScratchDir dir_;
};

TEST_F(HostileProcesses, NamesTheKernelAllowsShowAsValidTextWithReplacements) {
  // An executable whose file name holds blanks, parentheses, a tab, a
  // newline, a right-to-left mark and two bytes that are no UTF-8.
  const std::string hostileName = "Run (x) \t\n\xE2\x80\x8F\xFF\xFE name";
  auto hostile = Spawn(hostileName);
  // An executable deleted while it runs.
  auto gone = Spawn("Gone");
  // Command names (15 bytes at most): the last "あ" is cut after two bytes.
  auto zombie = Zombie("x) (\t\n\xE2\x80\x8F\xFF\xE3\x81\x82\xE3\x81\x82");
  auto plainZombie = Zombie("Web Content");
  ASSERT_TRUE(hostile && gone && zombie && plainZombie);
  ASSERT_TRUE(PollUntil([&] {
    return ProcessState(zombie->pid()) == 'Z' && ProcessState(plainZombie->pid()) == 'Z';
  }));
  ASSERT_EQ(::unlink(dir_.Path("Gone").c_str()), 0);

  RealProcessesForm f;
  f.window->Form_Load();
  f.window->Form_Activate();
  f.ExpectConsistent();

  const struct {
    pid_t pid;
    std::string shown;
  } expected[] = {
      {hostile->pid(),
       "run (x) \t\n\xE2\x80\x8F" + std::string(kFffd) + std::string(kFffd) + " name"},
      {gone->pid(), "gone (deleted)"},
      {zombie->pid(),
       "x) (\t\n\xE2\x80\x8F" + std::string(kFffd) + "\xE3\x81\x82" + std::string(kFffd)},
      {plainZombie->pid(), "web content"},
  };
  for (const auto& e : expected) {
    const int64_t row = f.RowOf(e.pid);
    ASSERT_GT(row, 0) << "process " << e.pid << " is listed";
    EXPECT_EQ(f.Shown(row), e.shown);
  }
  // The key of a clicked hostile row is its lower-cased, decoded path.
  f.list.selected = f.RowOf(hostile->pid());
  f.window->ListView1_Click();
  std::string dir = dir_.Root();
  for (char& c : dir) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(f.statusBar.panels[0], dir + "/" + expected[0].shown);

  // The zombies are reaped: the next tick notices and rebuilds.
  zombie->Reap();
  plainZombie->Reap();
  f.window->Timer1_Timer();
  f.ExpectConsistent();
  EXPECT_EQ(f.RowOf(zombie->pid()), 0);
}

}  // namespace
}  // namespace pelmora::fakes
