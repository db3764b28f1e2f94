// SPDX-License-Identifier: MIT
#pragma once
// The processes known from an earlier walk, each with its stat file held
// open: kernel threads and the processes whose exe link cannot be read
// (zombies, other users' processes, paths too long for a link), from the
// check that first saw them; and the processes whose link can be read,
// from the rebuild that first read them.
//
// The rule: a held stat file belongs to the one process it was opened for.
// Read again from offset 0 it gives that process's stat as it is now, and
// once the process is reaped it answers ESRCH, so it never reads a later
// process that took the PID. While the process runs the same program (the
// same start time, command name and places of heap, arguments and
// environment; another user's process shows only the first two) its name
// is the one remembered, and the tick's check costs one pread. A process
// leaves when its PID is no longer listed or its held file says it is gone.
//
// On a real /proc a kernel thread is held by a pidfd instead of its stat:
// kernel threads start no programs, so all a check needs to know is
// whether one ended, and one poll of their pidfds tells that for all of
// them at once.
//
// Held files are limited to a budget (HeldFileBudget); a process beyond it
// is not kept here and is read as if first seen, at every check.
#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/parsers/proc_pid_parsers.h"
#include "platform/linux/io/unique_fd.h"

namespace pelmora::platform::linux_os {

// What tells one program from the next in the same process.
struct ProgramMark {
  uint64_t startTime = 0;
  uint64_t startBrk = 0;
  uint64_t argStart = 0;
  uint64_t envEnd = 0;
  std::string comm;

  // Becomes the mark of stat, reusing its storage.
  void Assign(const PidStat& stat);
  bool Matches(const PidStat& stat) const;
};

enum class Known : uint8_t {
  kLinked,        // named by its exe link, which each check reads again
  kNamed,         // named by argv[0] or its command name, remembered
  kKernelThread,  // never listed
};

struct KnownProcess {
  int64_t pid = 0;
  Known kind = Known::kLinked;
  bool exeStatable = false;  // the link was too long to read; the file is there
  UniqueFd stat;             // its /proc/PID/stat, held open
  UniqueFd pidfd;            // instead of stat for a kernel thread: readable once it ends
  ProgramMark mark;
  std::string name;  // argv[0] or the command name, for kNamed
};

// How many stat files may be held open at once, decided once per program:
// the soft RLIMIT_NOFILE is raised, within the hard limit, to leave
// kReserveFds for everything else the program opens (the window system's
// and the toolkit's connections, fonts, /proc texts) besides the budget.
size_t HeldFileBudget();
inline constexpr size_t kMaxHeldFiles = 4096;
inline constexpr size_t kReserveFds = 512;

class KnownProcesses {
 public:
  explicit KnownProcesses(size_t budget) : budget_(budget) {}

  // Forgets the processes no longer listed, closing their files; pids is
  // ascending. Lookups after it run in ascending PID order.
  void Retain(const std::vector<int64_t>& pids);
  // The process with this PID, or null. Successive calls must ask for
  // ascending PIDs (a cursor walks along); Retain starts it again.
  KnownProcess* Find(int64_t pid);
  // Keeps a process with its held stat file; null (and nothing kept) when
  // the budget is spent. The pointer holds until the next Keep or Forget.
  KnownProcess* Keep(KnownProcess process);
  // Forgets the process with this PID, closing its file.
  void Forget(int64_t pid);
  // Forgets the processes held by pidfds that have ended: one poll.
  void ForgetEnded();

  size_t size() const { return processes_.size(); }
  size_t budget() const { return budget_; }

 private:
  // Where the process with this PID stands, or would.
  std::vector<KnownProcess>::iterator Slot(int64_t pid);

  std::vector<KnownProcess> processes_;  // ascending PID
  std::vector<pollfd> polled_;
  size_t cursor_ = 0;
  size_t budget_;
};

}  // namespace pelmora::platform::linux_os
