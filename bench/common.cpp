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

namespace {

class MemorySnapshot : public platform::ProcessSnapshot {
 public:
  explicit MemorySnapshot(const std::vector<platform::ProcessEntry>& list) : list_(list) {}
  bool Process32First(platform::ProcessEntry& entry) override {
    next_ = 0;
    return Process32Next(entry);
  }
  bool Process32Next(platform::ProcessEntry& entry) override {
    if (next_ >= list_.size()) return false;
    entry = list_[next_++];
    return true;
  }
  bool PathFirst(std::string& path) override {
    next_ = 0;
    return PathNext(path);
  }
  bool PathNext(std::string& path) override {
    if (next_ >= list_.size()) return false;
    path.assign(list_[next_++].szExeFile);
    return true;
  }

 private:
  const std::vector<platform::ProcessEntry>& list_;
  size_t next_ = 0;
};

}  // namespace

MemoryProcessSource::MemoryProcessSource(int count) {
  processes.reserve(count);
  for (int i = 0; i < count; ++i) {
    platform::ProcessEntry e;
    e.szExeFile = "/usr/lib/pelmora-bench/worker-" + std::to_string(i % 97) + "/bin/Worker";
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
}

std::unique_ptr<platform::ProcessSnapshot> MemoryProcessSource::CreateToolhelp32Snapshot() {
  return std::make_unique<MemorySnapshot>(processes);
}

}  // namespace pelmora::bench
