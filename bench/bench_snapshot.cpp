// SPDX-License-Identifier: MIT
// The cost of walking the live process list: the full walk that a refresh
// makes and the path-only walk that every tick makes.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/linux/io/proc_fs.h"
#include "platform/linux/figures/linux_tick_clock.h"
#include "platform/linux/walk/linux_process_snapshot.h"

namespace {

using pelmora::platform::ProcessEntry;
using pelmora::platform::linux_os::LinuxProcessSnapshotSource;

void BM_FullWalk(benchmark::State& state) {
  pelmora::platform::linux_os::LinuxTickClock clock;
  pelmora::platform::linux_os::ProcFs proc("/proc");
  LinuxProcessSnapshotSource source(proc, clock);
  ProcessEntry entry;
  int64_t processes = 0;
  for (auto _ : state) {
    auto snapshot = source.CreateToolhelp32Snapshot();
    processes = 0;
    for (bool ok = snapshot->Process32First(entry); ok; ok = snapshot->Process32Next(entry)) {
      ++processes;
    }
    benchmark::DoNotOptimize(entry);
  }
  state.counters["processes"] = static_cast<double>(processes);
  state.counters["ns_per_process"] =
      benchmark::Counter(static_cast<double>(processes) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FullWalk)->Unit(benchmark::kMicrosecond);

void BM_PathWalk(benchmark::State& state) {
  pelmora::platform::linux_os::LinuxTickClock clock;
  pelmora::platform::linux_os::ProcFs proc("/proc");
  LinuxProcessSnapshotSource source(proc, clock);
  pelmora::base::SharedText path;
  int64_t processes = 0;
  for (auto _ : state) {
    auto snapshot = source.CreateToolhelp32Snapshot();
    processes = 0;
    for (bool ok = snapshot->PathFirst(path); ok; ok = snapshot->PathNext(path)) ++processes;
    benchmark::DoNotOptimize(path);
  }
  state.counters["processes"] = static_cast<double>(processes);
  state.counters["ns_per_process"] =
      benchmark::Counter(static_cast<double>(processes) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PathWalk)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
