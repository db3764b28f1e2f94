// SPDX-License-Identifier: MIT
#pragma once
// One walk of /proc in PID order, in its two forms: the tick's check, which
// wants each process's name and reads as little as it can, and the
// rebuild, which gives every figure of every process. Both are readers of
// the same records, and one function, Identify, decides for both whether a
// listed process is shown and under which name. So whatever the check
// names, the rebuild that follows shows under that name (unless the
// process changed hands or a name is read again in between), and whatever
// the rebuild shows, the next check finds unchanged while the processes
// are. What each reads, and why: docs/process-walk.md.
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/linux/io/proc_fs.h"
#include "platform/linux/walk/process_records.h"
#include "platform/process_snapshot.h"
#include "platform/tick_clock.h"

namespace pelmora::platform::linux_os {

// How often a rebuild that follows a check reads again the command lines
// of the processes named by them, in milliseconds of the tick clock.
inline constexpr int64_t kNameRereadSpacingMs = 30'000;

class ProcWalk {
 public:
  // door: the /proc read, and the budget of files held open from one
  // listing to the next; clock: the spacing of the command lines read again.
  ProcWalk(ProcFs& door, TickClock& clock);

  // Lists the root into listing; the records become those of its PIDs.
  void List(Listing& listing);

  // The check: decides who the index-th listed process is (Identify: it
  // reads, and holds open, what that takes) and gives its name into path;
  // false when it is not shown.
  bool CheckName(const Listing& listing, size_t index, base::SharedText& path);

  // The rebuild. checked: the check walked this listing, and its names
  // stand (but those due to be read again); otherwise every name is read
  // afresh.
  void BeginRebuild(bool checked);
  // Every figure of the index-th listed process; false when it is not shown.
  bool ReadRow(const Listing& listing, size_t index, ProcessEntry& entry);

  size_t held() const { return records_.held(); }
  // How many rows the walk found outdated: a held stat answered "gone"
  // while its ID was listed (the check tells by it a process that took over
  // the ID of another running the same program, which its name does not
  // tell), or a process shown without its figures can be read now.
  uint64_t outdatedRows() const { return outdatedRows_; }

 private:
  // The record of a listed process, and the records it is held in: the
  // walk's own for the latest listing; for an older one, a scratch record
  // that keeps nothing.
  struct Target {
    ProcessRecord& record;
    ProcessRecords& holder;
  };
  Target TargetOf(const Listing& listing, size_t index);

  // The one decision: whether the process is shown this listing, and its
  // name (into the record). Decided once per listing; trustNames keeps a
  // name found without the link while the process runs the same program.
  // A process that cannot be decided for want of a descriptor keeps the
  // verdict and the name it had.
  Verdict Identify(Target t, const Listing& listing, bool trustNames);
  // Identify's reads: a kernel thread's pidfd, a held stat, the link.
  // kUnread: undecided, no descriptor free.
  Verdict Recognise(Target t, bool trustNames);
  // A row shown without its figures: whether its stat can be opened now
  // (and then held).
  void RetryUnread(Target t);
  // Seen for the first time, or running a new program: the link, else the stat
  // (given, held or opened now) and the command line.
  Verdict FirstSight(Target t, const PidStat* stat);
  // The stat, from the held file while it answers, else opened now and
  // held from then on.
  std::optional<PidStat> ReadOrOpenStat(Target t, ReadStatus& status);
  // The held stat could not be read: let go; counted as a takeover when it
  // answered that the process it was opened for is gone.
  void LetGoOfStat(Target t, ReadStatus status);
  // An absolute argv[0], else the stat's command name.
  Verdict NameWithoutLink(Target t, const PidStat* stat, int linkError);
  // Kept hidden, held by a pidfd where the kernel gives one for it.
  Verdict KeepKernelThread(Target t, const PidStat& stat);

  enum class Outcome { kRead, kGone, kAskAgain };
  // The figures of a process Identify showed: the check's, or read by path
  // under a witness. kAskAgain: the PID changed hands since the record was
  // made, so who it is must be decided afresh.
  Outcome ReadFigures(Target t, const Listing& listing, bool firstTry, ProcessEntry& entry);
  // The figures, read last of all from the witness; the inode of the
  // executable where it may be had.
  Outcome ReadUnderWitness(Target t, const Listing& listing, bool firstTry, ProcessEntry& entry);
  // The reads by path before the witness: the command-line name where it
  // is due again, the descriptors where they may be counted. Whether the
  // executable is in reach (its inode may be read).
  bool ReadByPath(ProcessRecord& record, ProcessEntry& entry);
  // The command-line name read again (a name rewritten in place).
  void RereadName(ProcessRecord& record);

  ProcFs& door_;
  ProcessRecords records_;
  TickClock& clock_;
  bool trustNames_ = true;     // this rebuild keeps the names the check found
  bool rereadNames_ = false;   // this rebuild reads command-line names again
  std::optional<int64_t> namesReadAt_;
  uint64_t outdatedRows_ = 0;
  // An older listing's reads: a record at a time, nothing kept.
  ProcessRecords unkept_{nullptr};
  ProcessRecord scratch_;
};

}  // namespace pelmora::platform::linux_os
