// SPDX-License-Identifier: MIT
#pragma once
// What the walk knows of one listed process, from one listing to the next:
// how it is held, which program it runs, its name and how the name was
// found, its executable's inode, and what the readers of the current
// listing found of it. docs/process-walk.md tells why each is kept.
#include <cstdint>
#include <optional>
#include <string>

#include "base/shared_text.h"
#include "platform/linux/io/unique_fd.h"
#include "platform/linux/parsers/proc_pid_parsers.h"

namespace pelmora::platform::linux_os {

// What tells one program from the next in the same process: a new program
// gets a new heap, arguments and environment (at random places unless
// address randomisation is off for it), and usually a new command name.
// The kernel hides the three places from other users (they read 0).
struct ProgramMark {
  uint64_t startTime = 0;
  uint64_t startBrk = 0;
  uint64_t argStart = 0;
  uint64_t envEnd = 0;
  std::string comm;

  // Becomes the mark of stat, reusing its storage.
  void Assign(const PidStat& stat);
  // Whether stat shows the same process running the same program.
  bool SameProgram(const PidStat& stat) const;
};

// The figures of a stat line that a row shows.
struct StatFigures {
  int64_t ppid = 0;
  int64_t priority = 0;
  int64_t threads = 0;
  uint64_t startBrk = 0;
  uint64_t startTime = 0;

  static StatFigures Of(const PidStat& stat) {
    return {stat.ppid, stat.priority, stat.num_threads, stat.start_brk, stat.starttime};
  }
};

// How a process is held from one walk to the next.
enum class Hold : uint8_t {
  kNone,
  kStat,   // its stat file: reads the process as it is now, "gone" once it is reaped
  kPidfd,  // a kernel thread's pidfd: readable once it ends
};

// Where a shown process's name came from.
enum class NameSource : uint8_t {
  kLink,   // its exe link, which every check reads again
  kArgv0,  // an absolute argv[0], kept while it runs the same program
  kComm,   // the command name of its stat, likewise
};

// Whether a listed process is shown in the list.
enum class Verdict : uint8_t {
  kUnread,  // not yet decided for this listing
  kHidden,  // a kernel thread, gone, or with no name to be had
  kShown,
};

struct ProcessRecord {
  int64_t pid = 0;
  // Taken and let go through ProcessRecords, which keeps them within its
  // budget.
  Hold hold = Hold::kNone;
  UniqueFd held;
  bool kernelThread = false;
  // Of the last stat read, and so of the program `name` and `inode` are.
  ProgramMark mark;
  NameSource source = NameSource::kLink;
  bool exeStatable = false;  // its link was too long to read; the file is there
  base::SharedText name;  // shared with the rows that show it
  uint64_t inode = 0;     // of the executable at `name` for `mark`; 0 unknown
  // The row's figures as last read: shown again where they cannot be read
  // now (no descriptor free), and the row's when the check read them.
  StatFigures lastFigures;
  int64_t lastDescriptors = 0;
  bool figuresUnread = false;  // its row showed them for want of a descriptor

  // What this listing's readers found: the verdict, and whether the check
  // read lastFigures from a held stat and nothing else of the process, so
  // that they are certainly its own.
  uint32_t listing = 0;
  Verdict verdict = Verdict::kUnread;
  bool figuresFromCheck = false;

  // Forgets what was learnt of the process, as for one never seen; its PID,
  // its hold and the listing stay.
  void Forget();
};

}  // namespace pelmora::platform::linux_os
