// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <memory>

#include "base/shared_text.h"

namespace pelmora::platform {

// One process as the snapshot delivers it. Numbers are kept in 64 bits:
// addresses and inode numbers do not fit 32.
struct ProcessEntry {
  // Full path of the executable, raw OS bytes, shared with whoever else
  // holds the name.
  base::SharedText szExeFile;
  int64_t cntUsage = 0;  // open file descriptors
  int64_t th32ProcessID = 0;
  int64_t pcPriClassBase = 0;  // scheduling priority
  int64_t cntThreads = 0;
  uint64_t th32DefaultHeapID = 0;  // start of the heap
  uint64_t th32ModuleID = 0;       // inode of the executable file
  int64_t th32ParentProcessID = 0;
  uint64_t startTime = 0;  // start time in clock ticks after boot
};

// A snapshot of the running processes in ascending ID order. Destroying it
// closes it. Processes that vanish while they are read are skipped.
//
// The listing of processes is taken once, when the snapshot is created;
// each walk reads the processes it lists as it reaches them. The path walk
// (PathFirst, PathNext) is the cheap one, for checking whether the set of
// processes changed. A full walk (Process32First, Process32Next) after a
// path walk of the same snapshot shows the processes the path walk showed,
// under the same paths, but for a process that ended or changed hands
// since, and takes what the path walk read instead of reading it again. A
// full walk of a snapshot whose paths were not walked reads every path
// afresh.
class ProcessSnapshot {
 public:
  virtual ~ProcessSnapshot() = default;
  virtual bool Process32First(ProcessEntry& entry) = 0;
  virtual bool Process32Next(ProcessEntry& entry) = 0;
  // The same walk, reading nothing but each process's path.
  virtual bool PathFirst(base::SharedText& path) = 0;
  virtual bool PathNext(base::SharedText& path) = 0;
  // Whether the path walk so far found, by what it read, that rows built
  // from an earlier snapshot no longer hold though the paths may all be the
  // same: a process ended and another took over its ID, or a process shown
  // without its figures (they could not be read then) can be read now.
  virtual bool RowsOutdated() = 0;
};

// Creates snapshots. A source may keep, from one snapshot to the next, what
// makes the next one cheaper (open files, what it learnt of the processes),
// and keeps it for the newest snapshot: an older one, walked after a newer
// was taken, reads its processes as if first seen.
class ProcessSnapshotSource {
 public:
  virtual ~ProcessSnapshotSource() = default;
  virtual std::unique_ptr<ProcessSnapshot> CreateToolhelp32Snapshot() = 0;
};

}  // namespace pelmora::platform
