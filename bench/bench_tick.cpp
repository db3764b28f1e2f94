// SPDX-License-Identifier: MIT
// The cost of one sampling tick with an unchanged process set, against a bare
// loop that does the same reads without any logic; and what a tick allocates.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <cstring>
#include <string>

#include "app/form1.h"
#include "app/qt/main_window.h"
#include "bare_reads.h"
#include "common.h"
#include "fakes/form_harness.h"
#include "platform/linux/linux_services.h"

namespace {

using namespace pelmora;

// What a tick must read, done as plainly as possible: the reads of
// bare_tick and the resource figures' files.
void BM_BareReadsRealProc(benchmark::State& state) {
  const int proc = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int processes = 0;
  for (auto _ : state) {
    processes = bench::Tick(proc, false, false);
    for (const char* file : {"/proc/loadavg", "/proc/sys/kernel/pid_max",
                             "/proc/sys/kernel/threads-max", "/proc/sys/fs/file-nr"}) {
      benchmark::DoNotOptimize(bench::ReadFile(AT_FDCWD, file));
    }
  }
  close(proc);
  state.counters["processes"] = processes;
}
BENCHMARK(BM_BareReadsRealProc)->Unit(benchmark::kMicrosecond);

// One reading of the CPU load meter on the real device.
void BM_ReadCpuLoadRealDevice(benchmark::State& state) {
  platform::linux_os::LinuxTickClock clock;
  platform::linux_os::ProcFs proc("/proc");
  platform::linux_os::LinuxCpuTimeDevice device(clock, proc);
  monitor::CpuLoadMeter meter;
  for (auto _ : state) benchmark::DoNotOptimize(meter.ReadCpuLoad(device, clock));
}
BENCHMARK(BM_ReadCpuLoadRealDevice)->Unit(benchmark::kMicrosecond);

// The real window on the offscreen platform, fed by the real /proc.
void BM_TickRealProc(benchmark::State& state) {
  platform::linux_os::LinuxServices services;
  app::qt::MainWindow window;
  app::Form1 form(window.Controls(), services.Services());
  window.Connect(form);
  form.Form_Load();
  form.Form_Activate();
  for (int i = 0; i < 60; ++i) form.Timer1_Timer();  // past the warm-up
  const uint64_t before = bench::Allocations();
  for (auto _ : state) form.Timer1_Timer();
  state.counters["allocs/tick"] =
      static_cast<double>(bench::Allocations() - before) / static_cast<double>(state.iterations());
  state.counters["processes"] = static_cast<double>(form.Table().ProcessCount);
}
BENCHMARK(BM_TickRealProc)->Unit(benchmark::kMicrosecond);

// A drawing area that only counts what it is asked to draw.
class CountingDrawingArea : public toolkit::DrawingArea {
 public:
  void Cls() override { ++calls; }
  float ScaleWidth() const override { return 141; }
  float ScaleHeight() const override { return 69; }
  void Line(float, float, float, float, int32_t) override { ++calls; }
  void Refresh() override { ++calls; }
  void SetDescription(std::string_view) override {}
  int64_t calls = 0;
};

// The tick's logic over a large process set held in memory, with plain
// fakes for the controls; against walking the same set's paths bare.
void BM_TickFakeProcesses(benchmark::State& state) {
  fakes::FormHarness h(false);
  h.services.processes.processes = bench::ManyProcesses(static_cast<int>(state.range(0)));
  h.services.memory.status = {8LL << 30, 3LL << 30, 2LL << 30, 1LL << 30, 10LL << 30, 4LL << 30};
  CountingDrawingArea picture;
  h.Rebuild(nullptr, &picture);
  h.Start();
  for (int i = 0; i < 60; ++i) {
    h.services.clock.now += 1000;
    h.window->Timer1_Timer();
  }
  const uint64_t before = bench::Allocations();
  for (auto _ : state) {
    h.services.clock.now += 1000;
    h.window->Timer1_Timer();
  }
  state.counters["allocs/tick"] =
      static_cast<double>(bench::Allocations() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_TickFakeProcesses)->Arg(3000)->Arg(30000)->Unit(benchmark::kMicrosecond);

void BM_BareWalkFakeProcesses(benchmark::State& state) {
  fakes::FakeProcessSource processes;
  processes.processes = bench::ManyProcesses(static_cast<int>(state.range(0)));
  base::SharedText path;
  for (auto _ : state) {
    auto snapshot = processes.CreateToolhelp32Snapshot();
    for (bool ok = snapshot->PathFirst(path); ok; ok = snapshot->PathNext(path)) {
      benchmark::DoNotOptimize(path.view().data());
    }
  }
}
BENCHMARK(BM_BareWalkFakeProcesses)->Arg(3000)->Arg(30000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return pelmora::bench::RunBenchmarks(argc, argv); }
