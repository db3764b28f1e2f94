// SPDX-License-Identifier: MIT
#pragma once
// Shared pieces of the benchmark programs: an offscreen Qt application, an
// allocation counter, and a process set of any size to hold in memory.
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

// `count` processes of 97 programs, as a fake process source holds them.
std::vector<platform::ProcessEntry> ManyProcesses(int count);

}  // namespace pelmora::bench
