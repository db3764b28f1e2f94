// SPDX-License-Identifier: MIT
#include "common.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

namespace {
std::atomic<uint64_t> allocations{0};
}

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace pelmora::bench {

uint64_t Allocations() { return allocations.load(std::memory_order_relaxed); }

int RunBenchmarks(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

std::vector<platform::ProcessEntry> ManyProcesses(int count) {
  std::vector<platform::ProcessEntry> processes;
  processes.reserve(count);
  for (int i = 0; i < count; ++i) {
    platform::ProcessEntry e;
    e.szExeFile =
        base::SharedText("/usr/lib/pelmora-bench/worker-" + std::to_string(i % 97) + "/bin/Worker");
    e.th32ProcessID = 1000 + i;
    e.th32ParentProcessID = 1;
    e.cntThreads = 1 + i % 7;
    e.cntUsage = 3 + i % 40;
    e.th32DefaultHeapID = 0x55d4a8c3e000ULL + i * 4096;
    e.th32ModuleID = 1234567 + i % 97;
    e.pcPriClassBase = 20;
    e.startTime = 100 + i;
    processes.push_back(std::move(e));
  }
  return processes;
}

}  // namespace pelmora::bench
