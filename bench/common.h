// SPDX-License-Identifier: MIT
#pragma once
// Shared pieces of the benchmark programs: an offscreen Qt application, an
// allocation counter, and a process source of any size held in memory.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/process_snapshot.h"

namespace pelmora::bench {

// Allocations made by this program since it started.
uint64_t Allocations();

// Runs the program's benchmarks inside a QApplication on Qt's offscreen
// platform (unless another platform was chosen).
int RunBenchmarks(int argc, char** argv);

// A fixed set of processes, walked without copying the set.
class MemoryProcessSource : public platform::ProcessSnapshotSource {
 public:
  explicit MemoryProcessSource(int count);
  std::unique_ptr<platform::ProcessSnapshot> CreateToolhelp32Snapshot() override;
  std::vector<platform::ProcessEntry> processes;
};

}  // namespace pelmora::bench
