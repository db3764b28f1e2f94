// SPDX-License-Identifier: MIT
// The cost of one refresh of the process list: snapshot, table and the real
// list view (offscreen), on the real /proc and on 10 000 processes in memory.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "common.h"
#include "fakes/platform_fakes.h"
#include "fakes/toolkit_fakes.h"
#include "platform/linux/io/proc_fs.h"
#include "platform/linux/figures/linux_tick_clock.h"
#include "platform/linux/walk/linux_process_snapshot.h"
#include "processes/process_table.h"
#include "toolkit/qt/list_view.h"
#include "toolkit/qt/text_services.h"

namespace {

using namespace pelmora;

void Refresh(benchmark::State& state, platform::ProcessSnapshotSource& source) {
  toolkit::qt::QtListView list;
  list.resize(441, 129);
  for (int i = 1; i <= 8; ++i) list.AddColumnHeader(i, "column");
  fakes::FakeStatusBar statusBar;
  fakes::FakeMessageBox msgBox;
  toolkit::qt::QtTextServices text;
  processes::ProcessTable table({list, statusBar, msgBox, text});
  for (auto _ : state) table.Command1_Click(source);
  state.counters["processes"] = static_cast<double>(table.ProcessCount);
}

void BM_RefreshRealProc(benchmark::State& state) {
  platform::linux_os::LinuxTickClock clock;
  platform::linux_os::ProcFs proc("/proc");
  platform::linux_os::LinuxProcessSnapshotSource source(proc, clock);
  Refresh(state, source);
}
BENCHMARK(BM_RefreshRealProc)->Unit(benchmark::kMillisecond);

void BM_RefreshInMemory(benchmark::State& state) {
  fakes::FakeProcessSource source;
  source.processes = bench::ManyProcesses(static_cast<int>(state.range(0)));
  Refresh(state, source);
}
BENCHMARK(BM_RefreshInMemory)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return pelmora::bench::RunBenchmarks(argc, argv); }
