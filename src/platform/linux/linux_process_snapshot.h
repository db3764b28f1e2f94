// SPDX-License-Identifier: MIT
#pragma once
// The process snapshot on Linux, read from /proc.
//
// A snapshot lists the numeric entries of the /proc root once, sorted into
// ascending PID order, and reads each process only when the walk reaches it.
// Kernel threads are left out. A process that vanishes while it is read is
// skipped; a field that cannot be read is 0.
//
// The path of a process is the target of /proc/PID/exe, byte for byte as the
// kernel gives it: an executable that was deleted or replaced while running
// keeps the kernel's " (deleted)" suffix, which tells the user the truth and
// cannot be confused with the file now at that path. Where the link cannot be
// read (another user's process, a zombie, a path longer than the kernel's
// 4095-byte limit) the path is argv[0] of /proc/PID/cmdline when that is an
// absolute path, and otherwise the command name of /proc/PID/stat.
//
// The numbers: cntUsage = open descriptors (the size the kernel gives its
// fd directory, or its entries counted); pcPriClassBase = the priority
// field; cntThreads = the thread count; th32DefaultHeapID = start_brk (0
// where the kernel hides it); th32ModuleID = the inode of the executable;
// th32ParentProcessID = the parent PID; startTime = the start time in clock
// ticks after boot.
//
// Every read goes through the open /proc root with relative names. The
// path-only walk reads one link per process (kernel threads, known from an
// earlier walk, cost no more; the fallback reads argv[0], and stat only
// where that is no absolute path), and after the first walk allocates
// nothing per process as long as the caller passes the same string back.
// A full walk of a snapshot whose paths were walked takes the paths from
// that walk (unless the PID was taken over since the listing) and reads the
// rest afresh: stat and the descriptors of every process at every walk. The
// inode of an executable is kept from one full walk to the next while the
// process keeps its ID, start time, path and start of heap.
#include <memory>
#include <string>

#include "platform/process_snapshot.h"

namespace pelmora::platform::linux_os {

struct ProcWalkState;

class LinuxProcessSnapshotSource : public platform::ProcessSnapshotSource {
 public:
  // proc_root is the directory that holds the PID directories; tests point
  // it at a tree of their own.
  explicit LinuxProcessSnapshotSource(std::string proc_root = "/proc");
  ~LinuxProcessSnapshotSource() override;

  std::unique_ptr<platform::ProcessSnapshot> CreateToolhelp32Snapshot() override;

 private:
  std::string proc_root_;
  // The open root and the read buffers, handed from one snapshot to the next.
  std::shared_ptr<ProcWalkState> state_;
};

}  // namespace pelmora::platform::linux_os
