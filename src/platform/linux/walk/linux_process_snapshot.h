// SPDX-License-Identifier: MIT
#pragma once
// The process snapshot on Linux, read from /proc.
//
// A snapshot lists the numeric entries of the /proc root once, in ascending
// PID order, and reads each process only when the walk reaches it. Kernel
// threads are left out. A process that vanishes while it is read is
// skipped; a field that cannot be read is 0.
//
// The path of a process is the target of /proc/PID/exe, byte for byte as the
// kernel gives it: an executable that was deleted or replaced while running
// keeps the kernel's " (deleted)" suffix, which tells the user the truth and
// cannot be confused with the file now at that path. Where the link cannot be
// read (another user's process, a zombie, a path of 4096 bytes or more) the
// path is argv[0] of /proc/PID/cmdline when that is an absolute path shorter
// than 4096 bytes, and otherwise the command name of /proc/PID/stat.
//
// The numbers: cntUsage = open descriptors (the size the kernel gives its
// fd directory, or its entries counted); pcPriClassBase = the priority
// field; cntThreads = the thread count; th32DefaultHeapID = start_brk (0
// where the kernel hides it); th32ModuleID = the inode of the executable;
// th32ParentProcessID = the parent PID; startTime = the start time in clock
// ticks after boot.
//
// What each walk reads, and what is kept from one to the next, is told in
// proc_walk.h and in the headers of its pieces: proc_listing.h,
// known_processes.h, exe_inode_cache.h and process_reader.h.
#include <cstddef>
#include <memory>
#include <string>

#include "platform/process_snapshot.h"

namespace pelmora::platform::linux_os {

class ProcWalk;

class LinuxProcessSnapshotSource : public platform::ProcessSnapshotSource {
 public:
  // proc_root is the directory that holds the PID directories; tests point
  // it at a tree of their own.
  explicit LinuxProcessSnapshotSource(std::string proc_root = "/proc");
  // With a budget of held stat files of its own (tests).
  LinuxProcessSnapshotSource(std::string proc_root, size_t heldFileBudget);
  ~LinuxProcessSnapshotSource() override;

  std::unique_ptr<platform::ProcessSnapshot> CreateToolhelp32Snapshot() override;

  // How many processes are known with a held stat file.
  size_t HeldFiles() const;

 private:
  std::string proc_root_;
  size_t heldFileBudget_;
  // The walk's state, handed from one snapshot to the next.
  std::shared_ptr<ProcWalk> walk_;
};

}  // namespace pelmora::platform::linux_os
