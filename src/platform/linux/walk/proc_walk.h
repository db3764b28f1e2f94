// SPDX-License-Identifier: MIT
#pragma once
// One walk of /proc in PID order, in its two forms: the tick's check, which
// wants each process's path and reads as little as it can, and the
// rebuild, which gives every figure of every process.
//
// The check reads, for each listed PID:
// - a process whose exe link can be read (the user's own, or every one for
//   root): that link, one readlinkat;
// - a kernel thread known from an earlier walk: nothing (one poll of all
//   their pidfds after the listing tells which ended);
// - a process whose link cannot be read (another user's, a zombie), known
//   from an earlier walk: its held stat file, one pread. While it runs the
//   same program its name is the one remembered; a new program is read as
//   below;
// - any other process, first seen: the link, and where that fails its
//   stat (held open afterwards, within the budget) and its command line.
//
// The rebuild reads by path under the /proc root, each process vouched for
// by a witness: its stat file, held from an earlier walk or opened before
// anything else of it is read, and read after the rest. A stat file
// belongs to the process it was opened for and answers ESRCH once that
// process is reaped, so while it answers, every read of the process before
// it reached that process and no other that took the PID since.
// After a check it takes what the check found (see ProcListing) and reads
// the rest: for a process named by its link, the size of its fd directory
// and its stat (two calls; the executable's inode comes from the cache);
// for a process named from its held file (another user's), nothing more,
// since its fd directory may not be listed and the check read its stat
// moments ago. The command lines of processes named by them are read again
// at a rebuild at most every kNameRereadSpacing, so that a name rewritten
// in place (argv[0]) shows then, or when its process starts a new program;
// a rebuild of a fresh snapshot (the 更新 button's) reads every path again.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/linux/walk/exe_inode_cache.h"
#include "platform/linux/walk/known_processes.h"
#include "platform/linux/walk/proc_listing.h"
#include "platform/linux/walk/process_reader.h"
#include "platform/process_snapshot.h"

namespace pelmora::platform::linux_os {

// How often a rebuild that follows a check reads again the command lines of
// the processes named by them: a name rewritten in place shows at the first
// rebuild this long after the last that read it.
inline constexpr std::chrono::seconds kNameRereadSpacing{30};

class ProcWalk {
 public:
  ProcWalk(std::string root_path, size_t heldFileBudget);

  // Lists the root again; what the known processes no longer listed held
  // is let go.
  void List();
  size_t size() const { return listing_.pids().size(); }

  // The path of the index-th listed process, for the check; false to skip
  // it (a kernel thread, gone, or with no name to be had).
  bool CheckPath(size_t index, std::string& path);

  void BeginRebuild();
  // Every figure of the index-th listed process; false to skip it.
  bool ReadEntry(size_t index, ProcessEntry& entry);
  void EndRebuild() { inodes_.EndRebuild(); }

  const KnownProcesses& known() const { return known_; }

 private:
  // The stat of a known process from its held file; nullopt, and the
  // process forgotten, when the file says it is gone.
  std::optional<PidStat> ReadHeld(KnownProcess& process);
  // A process seen for the first time, or that started a new program: its
  // link, else its stat (statFile and stat, where the caller read them
  // already) and its command line.
  bool FirstSight(size_t index, std::string& path, UniqueFd statFile,
                  std::optional<PidStat> stat);
  // Keeps a kernel thread known, by a pidfd in place of its stat file where
  // the kernel gives one for the very process listed.
  void KeepKernelThread(int64_t pid, const PidStat& stat, UniqueFd statFile);
  // Whether a held file still belongs to a process: on a real /proc its
  // reads say so; in a tree of plain files, a removed file is gone.
  bool HeldFileGone(int fd) const;

  ProcListing listing_;
  KnownProcesses known_;
  ExeInodeCache inodes_;
  ReadBuffers buffers_;
  uid_t listerUid_;  // whose fd directories may be listed; -1: anyone's
  bool checked_ = false;  // the check ran over this listing
  bool rereadNames_ = false;  // this rebuild reads remembered names again
  std::chrono::steady_clock::time_point namesReadAt_{};
};

}  // namespace pelmora::platform::linux_os
