// SPDX-License-Identifier: MIT
// The cost of the Linux services that every sampling tick calls: one table
// request of the CPU-time device on the real /proc/stat (with the refresh
// request before it, as the meter sends them), one memory read and the three
// free-resource figures.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "platform/linux/io/proc_fs.h"
#include "platform/linux/figures/linux_cpu_time_device.h"
#include "platform/linux/figures/linux_free_resources.h"
#include "platform/linux/figures/linux_memory_status.h"
#include "platform/linux/figures/linux_tick_clock.h"

namespace {

using namespace pelmora;
using namespace pelmora::platform::linux_os;

void BM_CpuDeviceReadTable(benchmark::State& state) {
  LinuxTickClock clock;
  ProcFs proc("/proc");
  LinuxCpuTimeDevice device(clock, proc);
  std::vector<int32_t> table(4097, 0);
  int32_t bytes = 0;
  for (auto _ : state) {
    auto handle = device.Open();
    if (!handle) {
      state.SkipWithError("/proc/stat cannot be read");
      break;
    }
    int32_t scratch = 0;
    handle->DeviceIoControl(platform::kCpuTimeRefresh, {&scratch, 1}, bytes);
    handle->DeviceIoControl(platform::kCpuTimeReadTable, {table.data(), 4095}, bytes);
    benchmark::DoNotOptimize(table[2]);
  }
}
BENCHMARK(BM_CpuDeviceReadTable);

// The table request alone, on a handle kept open.
void BM_CpuDeviceRequestOnly(benchmark::State& state) {
  LinuxTickClock clock;
  ProcFs proc("/proc");
  LinuxCpuTimeDevice device(clock, proc);
  auto handle = device.Open();
  std::vector<int32_t> table(4097, 0);
  int32_t bytes = 0;
  for (auto _ : state) {
    handle->DeviceIoControl(platform::kCpuTimeReadTable, {table.data(), 4095}, bytes);
    benchmark::DoNotOptimize(table[2]);
  }
}
BENCHMARK(BM_CpuDeviceRequestOnly);

void BM_MemoryStatus(benchmark::State& state) {
  ProcFs proc("/proc");
  LinuxMemoryStatus memory(proc);
  platform::MemoryStatus status;
  for (auto _ : state) {
    memory.GlobalMemoryStatus(status);
    benchmark::DoNotOptimize(status.dwAvailPhys);
  }
}
BENCHMARK(BM_MemoryStatus);

void BM_FreeResource(benchmark::State& state) {
  ProcFs proc("/proc");
  LinuxFreeResources resources(proc);
  const auto selector = static_cast<int32_t>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(resources.GetFreeSystemResources(selector));
}
BENCHMARK(BM_FreeResource)
    ->Arg(platform::kResourceSystem)
    ->Arg(platform::kResourceGdi)
    ->Arg(platform::kResourceUser);

// What a tick asks of them together, in the tick's order 0, 2, 1.
void BM_AllFreeResources(benchmark::State& state) {
  ProcFs proc("/proc");
  LinuxFreeResources resources(proc);
  for (auto _ : state) {
    benchmark::DoNotOptimize(resources.GetFreeSystemResources(platform::kResourceSystem));
    benchmark::DoNotOptimize(resources.GetFreeSystemResources(platform::kResourceUser));
    benchmark::DoNotOptimize(resources.GetFreeSystemResources(platform::kResourceGdi));
  }
}
BENCHMARK(BM_AllFreeResources);

}  // namespace

BENCHMARK_MAIN();
