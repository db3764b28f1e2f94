// SPDX-License-Identifier: MIT
// The tick, run again and again against fake services whose process set
// changes on every tick, driving the window's real Qt widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "qt/window_on_fakes.h"
#include "soak_support.h"
#include "toolkit/number_format.h"
#include "toolkit/utf8.h"

namespace pelmora::soak {
namespace {

using platform::ProcessEntry;

// Paths as hostile as the kernel allows: blanks, parentheses, control
// characters, right-to-left marks, cut and invalid UTF-8.
const char* const kPaths[] = {
    "/usr/bin/bash",
    "/opt/App With Blanks/bin/run (2)",
    "/tmp/new\nline\tand tab",
    "/home/u/\xE2\x80\x8F"
    "evil\xE2\x80\xAE"
    "txt.exe",
    "/usr/lib/\xE6\x97\xA5\xE6\x9C\xAC\xE8",
    "/tmp/\xFF\xFE\xC0\xAF broken",
    "/usr/bin/Upper CASE",
    "/usr/sbin/daemon (deleted)",
    "kworker-like",
    "",
};

// A process set that changes on every step: processes start and end, and
// IDs come back for other programs.
class ChurningProcesses {
 public:
  explicit ChurningProcesses(fakes::FakeProcessSource& source) : source_(source) {
    for (int i = 0; i < 60; ++i) Start(next_++);
  }

  void Step() {
    const int kind = static_cast<int>(random_() % 4);
    auto& list = source_.processes;
    if ((kind == 0 && list.size() > 30) || list.size() > 120) {
      End(random_() % list.size());
    } else if (kind == 1 || list.size() < 30) {
      Start(next_++);
    } else if (kind == 2 && !ended_.empty()) {
      // An ID that ended comes back for another program.
      const int64_t pid = ended_.front();
      ended_.pop_front();
      if (!Running(pid)) Start(pid);
      End(random_() % list.size());
    } else {
      // The same ID, now another program: exec or reuse within one tick.
      ProcessEntry& entry = list[random_() % list.size()];
      entry.szExeFile = base::SharedText(kPaths[random_() % std::size(kPaths)]);
      entry.startTime += 1 + random_() % 100;
    }
  }

 private:
  bool Running(int64_t pid) const {
    return std::any_of(source_.processes.begin(), source_.processes.end(),
                       [pid](const ProcessEntry& e) { return e.th32ProcessID == pid; });
  }
  void Start(int64_t pid) {
    ProcessEntry entry =
        fakes::Process(kPaths[random_() % std::size(kPaths)], pid, 1 + random_() % 1000000);
    entry.cntUsage = static_cast<int64_t>(random_() % 100);
    entry.cntThreads = 1 + static_cast<int64_t>(random_() % 40);
    entry.th32DefaultHeapID = random_();
    entry.th32ModuleID = random_() % 100000;
    entry.th32ParentProcessID = 1;
    auto& list = source_.processes;
    list.insert(
        std::lower_bound(list.begin(), list.end(), pid,
                         [](const ProcessEntry& e, int64_t id) { return e.th32ProcessID < id; }),
        entry);
  }
  void End(size_t index) {
    auto& list = source_.processes;
    ended_.push_back(list[index].th32ProcessID);
    if (ended_.size() > 50) ended_.pop_front();
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
  }

  fakes::FakeProcessSource& source_;
  std::mt19937_64 random_{20240601};
  std::deque<int64_t> ended_;
  int64_t next_ = 300;
};

TEST(SoakOnFakes, ChurningProcessSetThroughTheRealWindow) {
  const int64_t ticks = Ticks(10000, 100000);
  const int64_t warmUp = std::max<int64_t>(500, ticks / 10);

  fakes::WindowOnFakes run;
  fakes::FakeServices& s = run.services;
  fakes::FakeProcessSource& source = s.processes;
  source.processes.clear();
  ChurningProcesses churn(source);
  app::qt::MainWindow& window = run.window;
  app::Form1& form = *run.form;
  window.Load();
  ASSERT_FALSE(window.Ended());
  window.show();
  QApplication::processEvents();

  std::mt19937 random(7);
  const Stopwatch stopwatch;
  int descriptorsBefore = 0;
  int64_t residentBefore = 0;
  int64_t rebuilds = 0;
  int64_t mismatches = 0;
  std::string decoded;
  for (int64_t tick = 1; tick <= ticks; ++tick) {
    if (tick == warmUp) {
      QApplication::processEvents();
      descriptorsBefore = OpenDescriptors();
      residentBefore = ResidentKb();
    }
    churn.Step();
    s.clock.now += 200 + static_cast<int64_t>(random() % 1000);
    s.cpuTime.table[2] += static_cast<int32_t>(random() % 1200);
    const int64_t total = 1024LL * (1 + random() % (64LL << 20));
    s.memory.status = {total, total / 3, total / 2, total / 5, total + total / 2, total / 2};
    s.resources.values = {static_cast<int32_t>(random() % 101), std::nullopt,
                          static_cast<int32_t>(random() % 101)};
    s.cpuTime.requests.clear();  // the fake's own record of requests

    const int64_t fullReadsBefore = source.fullReads;
    form.Timer1_Timer();
    if (source.fullReads > fullReadsBefore) ++rebuilds;
    // The check compares paths: after each tick the rows hold every path
    // of the set, in order.
    const processes::ProcessTable& table = form.Table();
    bool same = table.ProcessCount == static_cast<int64_t>(source.processes.size());
    for (size_t i = 0; same && i < source.processes.size(); ++i) {
      toolkit::SanitizeUtf8(source.processes[i].szExeFile.view(), decoded);
      same = table.Path(static_cast<int64_t>(i) + 1) == decoded;
    }
    if (!same) ++mismatches;
    if (tick % 97 == 0) QApplication::processEvents();
  }
  QApplication::processEvents();
  const int descriptorsAfter = OpenDescriptors();
  const int64_t residentAfter = ResidentKb();
  const double seconds = stopwatch.Seconds();
  std::printf(
      "soak on fakes: %lld ticks (%lld rebuilds) in %.1f s; descriptors %d -> %d; "
      "VmRSS %lld kB -> %lld kB after %lld warm-up ticks\n",
      static_cast<long long>(ticks), static_cast<long long>(rebuilds), seconds, descriptorsBefore,
      descriptorsAfter, static_cast<long long>(residentBefore),
      static_cast<long long>(residentAfter), static_cast<long long>(warmUp));

  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(rebuilds, ticks / 2);
  EXPECT_EQ(descriptorsAfter, descriptorsBefore);
  if (kCheckResidentMemory) {
    EXPECT_LT(residentAfter - residentBefore, kResidentGrowthLimitKb);
  }

  // After a refresh (更新) the table and the list are the last snapshot,
  // row for row, IDs included.
  window.Command1->click();
  QApplication::processEvents();
  const processes::ProcessTable& table = form.Table();
  const auto& list = source.processes;
  ASSERT_EQ(table.ProcessCount, static_cast<int64_t>(list.size()));
  ASSERT_EQ(window.ListView1->ItemCount(), table.ProcessCount);
  EXPECT_EQ(window.StatusBar1->PanelText(3), toolkit::DecimalText(table.ProcessCount));
  for (size_t i = 0; i < list.size(); ++i) {
    const int64_t row = static_cast<int64_t>(i) + 1;
    toolkit::SanitizeUtf8(list[i].szExeFile.view(), decoded);
    EXPECT_EQ(table.Path(row), decoded) << "row " << row;
    EXPECT_EQ(table.ProcessIds[row], list[i].th32ProcessID) << "row " << row;
    EXPECT_EQ(window.ListView1->ItemText(row, 2), toolkit::HexText(list[i].th32ProcessID));
    const std::string shown = window.ListView1->ItemText(row, 0);
    EXPECT_EQ(toolkit::ValidUtf8Prefix(shown), shown.size()) << "row " << row;
  }
}

}  // namespace
}  // namespace pelmora::soak
