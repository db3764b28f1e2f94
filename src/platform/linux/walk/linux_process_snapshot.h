// SPDX-License-Identifier: MIT
#pragma once
// The process snapshot on Linux, read from /proc.
//
// A snapshot lists the numeric entries of the /proc root once, in ascending
// PID order, and reads each process only when a walk reaches it. Kernel
// threads are left out. A process that vanishes while it is read is
// skipped; a figure that cannot be read is 0.
//
// The path of a process is the target of /proc/PID/exe, byte for byte as the
// kernel gives it (" (deleted)" included). Where the link cannot be read
// (another user's process, a zombie, a path of 4096 bytes or more) it is
// argv[0] of /proc/PID/cmdline when that is an absolute path shorter than
// 4096 bytes, and otherwise the command name of /proc/PID/stat, empty
// included.
//
// The numbers: cntUsage = open descriptors; pcPriClassBase = the priority
// field; cntThreads = the thread count; th32DefaultHeapID = start_brk (0
// where the kernel hides it); th32ModuleID = the inode of the executable;
// th32ParentProcessID = the parent PID; startTime = the start time in clock
// ticks after boot.
//
// What a check and a rebuild read, and what is kept between them:
// proc_walk.h, and docs/process-walk.md for the why.
#include <cstddef>
#include <memory>

#include "platform/process_snapshot.h"
#include "platform/tick_clock.h"

namespace pelmora::platform::linux_os {

class ProcFs;
class ProcWalk;

class LinuxProcessSnapshotSource : public platform::ProcessSnapshotSource {
 public:
  // door: the /proc read (tests point one at a tree of their own), with
  // the budget of files the walk may keep open between snapshots; clock:
  // when command-line names are due to be read again.
  LinuxProcessSnapshotSource(ProcFs& door, platform::TickClock& clock);
  ~LinuxProcessSnapshotSource() override;

  // The snapshots refer to the source: none may outlive it.
  std::unique_ptr<platform::ProcessSnapshot> CreateToolhelp32Snapshot() override;

  // How many files the walk holds open now.
  size_t HeldFiles() const;

 private:
  std::unique_ptr<ProcWalk> walk_;
};

}  // namespace pelmora::platform::linux_os
