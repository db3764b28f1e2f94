// SPDX-License-Identifier: MIT
// The tick against the real /proc, with the program's own Linux services,
// while children keep starting and ending.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/linux_services.h"
#include "qt/window_on_fakes.h"
#include "soak_support.h"
#include "support/child_process.h"
#include "support/walk_source.h"
#include "support/scratch_dir.h"
#include "toolkit/qt/text_services.h"

namespace pelmora::soak {
namespace {

// Children of sleep, started and ended on demand.
class ChildHelper {
 public:
  void Start() {
    children_.push_back(std::make_unique<testing_support::Child>(program_));
    ++started_;
  }
  void EndOldest() { children_.pop_front(); }
  size_t Alive() const { return children_.size(); }
  int64_t Started() const { return started_; }

 private:
  testing_support::ScratchDir dir_;
  std::string program_ = dir_.Path("sleep");
  uint64_t copied_ = testing_support::CopyProgram(program_);
  std::deque<std::unique_ptr<testing_support::Child>> children_;
  int64_t started_ = 0;
};

struct Row {
  int64_t pid;
  std::string path;
  bool operator==(const Row&) const = default;
};

std::vector<Row> TableRows(const processes::ProcessTable& table) {
  std::vector<Row> rows;
  for (int64_t i = 1; i <= table.ProcessCount; ++i) {
    rows.push_back({table.ProcessIds[i].value_or(-1), table.Path(i)});
  }
  return rows;
}

std::vector<Row> SnapshotRows(platform::ProcessSnapshotSource& source,
                              const toolkit::TextServices& text) {
  std::vector<Row> rows;
  auto snapshot = source.CreateToolhelp32Snapshot();
  platform::ProcessEntry entry;
  std::string decoded;
  for (bool ok = snapshot->Process32First(entry); ok; ok = snapshot->Process32Next(entry)) {
    text.Decode(entry.szExeFile.view(), decoded);
    rows.push_back({entry.th32ProcessID, decoded});
  }
  return rows;
}

TEST(SoakOnProc, TicksWhileChildrenComeAndGo) {
  const int64_t ticks = Ticks(500, 5000);
  const int64_t warmUp = std::max<int64_t>(50, ticks / 10);

  // The Linux services but the instance claim, which stays out of it: a
  // Pelmora the user runs meanwhile must not end the soak.
  platform::linux_os::LinuxServices os;
  fakes::WindowOnFakes run([&os](fakes::FakeServices& fake) {
    auto& use = fake.use;
    use.cpuTime = &os.cpuTime;
    use.clock = &os.clock;
    use.memory = &os.memory;
    use.resources = &os.resources;
    use.processes = &os.processes;
    use.processControl = &os.processControl;
  });
  app::qt::MainWindow& window = run.window;
  app::Form1& form = *run.form;
  window.Load();
  ASSERT_FALSE(window.Ended());
  window.show();
  QApplication::processEvents();

  const Stopwatch stopwatch;
  int descriptorsBefore = 0;
  int64_t residentBefore = 0;
  {
    ChildHelper helper;
    for (int64_t tick = 1; tick <= ticks; ++tick) {
      if (tick == warmUp) {
        QApplication::processEvents();
        // The walk holds a stat file for each process it knows, which come
        // and go with the processes: the rest must not grow.
        descriptorsBefore = OpenDescriptors() - static_cast<int>(os.processes.HeldFiles());
        residentBefore = ResidentKb();
      }
      // Each tick a child starts; the oldest of five ends.
      helper.Start();
      if (helper.Alive() > 5) helper.EndOldest();
      form.Timer1_Timer();
      if (tick % 25 == 0) QApplication::processEvents();
    }
    std::printf("soak on /proc: %lld children started\n", static_cast<long long>(helper.Started()));
  }
  QApplication::processEvents();
  const int descriptorsAfter = OpenDescriptors() - static_cast<int>(os.processes.HeldFiles());
  const int64_t residentAfter = ResidentKb();
  const double seconds = stopwatch.Seconds();
  std::printf(
      "soak on /proc: %lld ticks in %.1f s; descriptors %d -> %d; VmRSS %lld kB -> %lld kB "
      "after %lld warm-up ticks; %lld processes listed\n",
      static_cast<long long>(ticks), seconds, descriptorsBefore, descriptorsAfter,
      static_cast<long long>(residentBefore), static_cast<long long>(residentAfter),
      static_cast<long long>(warmUp), static_cast<long long>(form.Table().ProcessCount));
  EXPECT_EQ(descriptorsAfter, descriptorsBefore);
  if (kCheckResidentMemory) {
    EXPECT_LT(residentAfter - residentBefore, kResidentGrowthLimitKb);
  }

  // With the children gone, a tick brings the table to the running set.
  // Other programs on the machine start and end too: a few rounds are
  // allowed for a moment in which nothing else changed.
  platform::linux_os::LinuxTickClock clock;
  testing_support::WalkSource check("/proc", 0, clock);
  toolkit::qt::QtTextServices text;
  bool equal = false;
  for (int round = 0; round < 50 && !equal; ++round) {
    form.Command1_Click();
    equal = TableRows(form.Table()) == SnapshotRows(check, text);
  }
  EXPECT_TRUE(equal);
}

}  // namespace
}  // namespace pelmora::soak
