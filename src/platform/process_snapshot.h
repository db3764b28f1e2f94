// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace pelmora::platform {

// One process as the snapshot delivers it. Numbers are kept in 64 bits:
// addresses and inode numbers do not fit 32.
struct ProcessEntry {
  std::string szExeFile;  // full path of the executable, raw OS bytes
  int64_t cntUsage = 0;   // open file descriptors
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
// processes changed. A full walk (Process32First, Process32Next) of a
// snapshot whose paths were walked may take the same listing and the paths
// that walk read instead of reading them again, for every process that was
// already running when the listing was taken, and the figures that walk
// read with a path; every other figure it reads afresh. So a full walk
// after a path walk lists the processes the path walk listed (less any
// that ended since), with the paths it gave them. A full walk of a
// snapshot whose paths were not walked reads every path afresh.
class ProcessSnapshot {
 public:
  virtual ~ProcessSnapshot() = default;
  virtual bool Process32First(ProcessEntry& entry) = 0;
  virtual bool Process32Next(ProcessEntry& entry) = 0;
  // The same walk, reading nothing but each process's path.
  virtual bool PathFirst(std::string& path) = 0;
  virtual bool PathNext(std::string& path) = 0;
};

// Creates snapshots. A source may keep, from one snapshot to the next, what
// makes the next one cheaper (open files, buffers, what it learnt about the
// processes), and each new snapshot starts with a new listing and nothing
// of the paths the last one read. That is handed on only while no older
// snapshot is alive: a caller that keeps one snapshot at a time, and drops
// it before asking for the next, gets every saving; one that keeps two
// gets a correct but cold second one.
class ProcessSnapshotSource {
 public:
  virtual ~ProcessSnapshotSource() = default;
  virtual std::unique_ptr<ProcessSnapshot> CreateToolhelp32Snapshot() = 0;
};

}  // namespace pelmora::platform
