// SPDX-License-Identifier: MIT
#pragma once
// One walk of /proc in PID order, in its two forms: the tick's check, which
// wants each process's path and reads as little as it can, and the
// rebuild, which reads every figure of every process.
//
// The check reads, for each listed PID:
// - a process whose exe link can be read (the user's own, or every one for
//   root): that link, one readlinkat;
// - a kernel thread, or a process whose link cannot be read (another
//   user's, a zombie), known from an earlier check: its held stat file,
//   one pread. While it runs the same program its name is the one
//   remembered; a new program is read as below;
// - any other process, first seen: the link, and where that fails its
//   stat (held open afterwards, within the budget) and its command line.
// The rebuild opens each process's directory once and reads through it:
// stat (the held file where there is one; else opened through the
// directory and held from then on), descriptors, the path where the
// check's cannot be taken (see ProcListing), the command line of every
// process named by it, and the executable's inode where the cache has
// none.
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/linux/exe_inode_cache.h"
#include "platform/linux/known_processes.h"
#include "platform/linux/proc_listing.h"
#include "platform/linux/process_reader.h"
#include "platform/process_snapshot.h"

namespace pelmora::platform::linux_os {

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

  void BeginRebuild() { inodes_.BeginRebuild(); }
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
  // Whether a held file still belongs to a process: on a real /proc its
  // reads say so; in a tree of plain files, a removed file is gone.
  bool HeldFileGone(int fd) const;

  ProcListing listing_;
  KnownProcesses known_;
  ExeInodeCache inodes_;
  ReadBuffers buffers_;
  uid_t listerUid_;  // whose fd directories may be listed; -1: anyone's
};

}  // namespace pelmora::platform::linux_os
