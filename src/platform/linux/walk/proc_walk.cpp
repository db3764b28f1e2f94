// SPDX-License-Identifier: MIT
#include "platform/linux/walk/proc_walk.h"

#include <cerrno>

#include "platform/linux/io/pidfd.h"
#include "platform/linux/walk/witness.h"

namespace pelmora::platform::linux_os {

ProcWalk::ProcWalk(ProcFs& door, TickClock& clock)
    : door_(door), records_(&door), clock_(clock) {}

void ProcWalk::List(Listing& listing) {
  records_.SetBusy(nullptr);
  door_.List(listing);
  records_.Relist(listing.pids);
}

ProcWalk::Target ProcWalk::TargetOf(const Listing& listing, size_t index) {
  if (listing.number == door_.listings()) {
    records_.SetBusy(&records_[index]);
    return {records_[index], records_};
  }
  // A listing older than the latest: its processes read as if first seen.
  unkept_.Release(scratch_);
  scratch_.Forget();
  scratch_.pid = listing.pids[index];
  scratch_.listing = 0;
  return {scratch_, unkept_};
}

// ---------------------------------------------------------------------------
// Who a listed process is: the check's reads, which the rebuild shares.

bool ProcWalk::CheckName(const Listing& listing, size_t index, base::SharedText& path) {
  const Target t = TargetOf(listing, index);
  if (Identify(t, listing, true) != Verdict::kShown) return false;
  path = t.record.name;
  return true;
}

Verdict ProcWalk::Identify(Target t, const Listing& listing, bool trustNames) {
  ProcessRecord& r = t.record;
  if (r.listing == listing.number && r.verdict != Verdict::kUnread) return r.verdict;
  r.listing = listing.number;
  r.figuresFromCheck = false;
  if (r.figuresUnread) RetryUnread(t);
  const Verdict now = Recognise(t, trustNames);
  // Undecided: the last listing's verdict stands, with its name, unless
  // the record was forgotten (its process was reaped) meanwhile.
  if (now != Verdict::kUnread) {
    r.verdict = now;
  } else if (r.verdict != Verdict::kShown) {
    r.verdict = Verdict::kHidden;
  }
  return r.verdict;
}

void ProcWalk::RetryUnread(Target t) {
  ProcessRecord& r = t.record;
  ReadStatus status;
  UniqueFd fd = door_.OpenStat(r.pid, status);
  if (status == ReadStatus::kNoRoom) return;
  r.figuresUnread = false;
  ++outdatedRows_;
  if (fd.valid() && r.hold == Hold::kNone) t.holder.Keep(r, Hold::kStat, std::move(fd));
}

Verdict ProcWalk::Recognise(Target t, bool trustNames) {
  ProcessRecord& r = t.record;
  if (r.hold == Hold::kPidfd) return Verdict::kHidden;  // a kernel thread alive after the listing
  // Named without its link (or a kernel thread): its held stat tells
  // whether it still runs the same program, in one read.
  if (r.hold == Hold::kStat && (r.kernelThread || r.source != NameSource::kLink)) {
    ReadStatus status;
    const std::optional<PidStat> stat = door_.ReadStat(r.held.get(), status);
    if (!stat) {
      // Reaped (the PID is another process's now) or unreadable now.
      LetGoOfStat(t, status);
      r.Forget();
      return FirstSight(t, nullptr);
    }
    if (stat->IsKernelThread()) return KeepKernelThread(t, *stat);
    if (trustNames && !r.kernelThread && r.mark.SameProgram(*stat)) {
      // The stat was all that was read: its figures are the row's.
      r.lastFigures = StatFigures::Of(*stat);
      r.figuresFromCheck = true;
      return Verdict::kShown;
    }
    return FirstSight(t, &*stat);
  }
  return FirstSight(t, nullptr);
}

Verdict ProcWalk::FirstSight(Target t, const PidStat* stat) {
  ProcessRecord& r = t.record;
  if (const std::optional<std::string_view> link = door_.ReadExeLink(r.pid)) {
    if (r.source != NameSource::kLink || r.name != *link) {
      r.name.Assign(*link);
      r.inode = 0;  // the inode kept was of another path
    }
    r.source = NameSource::kLink;
    r.exeStatable = false;
    r.kernelThread = false;
    return Verdict::kShown;
  }
  const int linkError = errno;
  if (stat) return NameWithoutLink(t, stat, linkError);
  ReadStatus status;
  const std::optional<PidStat> read = ReadOrOpenStat(t, status);
  if (status == ReadStatus::kGone) return Verdict::kHidden;
  if (status == ReadStatus::kNoRoom) return Verdict::kUnread;
  return NameWithoutLink(t, read ? &*read : nullptr, linkError);
}

std::optional<PidStat> ProcWalk::ReadOrOpenStat(Target t, ReadStatus& status) {
  ProcessRecord& r = t.record;
  if (r.hold == Hold::kStat) {
    if (auto stat = door_.ReadStat(r.held.get(), status)) return stat;
    LetGoOfStat(t, status);
  }
  UniqueFd fd = door_.OpenStat(r.pid, status);
  if (!fd.valid()) return std::nullopt;
  std::optional<PidStat> stat = door_.ReadStat(fd.get(), status);
  if (stat) t.holder.Keep(r, Hold::kStat, std::move(fd));
  return stat;
}

void ProcWalk::LetGoOfStat(Target t, ReadStatus status) {
  // Its process was reaped, and the PID, listed, is another's now (or was
  // when it was listed). A kernel thread's end changes no row.
  if (status == ReadStatus::kGone && !t.record.kernelThread) ++outdatedRows_;
  t.holder.Release(t.record);
}

Verdict ProcWalk::NameWithoutLink(Target t, const PidStat* stat, int linkError) {
  ProcessRecord& r = t.record;
  if (stat && stat->IsKernelThread()) return KeepKernelThread(t, *stat);
  ReadStatus status;
  const std::string_view argv0 = door_.ReadArgv0Path(r.pid, status);
  if (status == ReadStatus::kGone) return Verdict::kHidden;
  // A name never changes because a file could not be opened.
  if (status == ReadStatus::kNoRoom) return Verdict::kUnread;
  if (!argv0.empty()) {
    r.name.Assign(argv0);
    r.source = NameSource::kArgv0;
  } else if (stat) {
    r.name.Assign(stat->comm);  // an empty one too: the process is there
    r.source = NameSource::kComm;
  } else {
    // No stat tells a kernel thread from a process, and no path names it.
    return Verdict::kHidden;
  }
  r.kernelThread = false;
  r.exeStatable = ProcFs::ExeStatable(linkError);
  r.inode = 0;
  if (stat) r.mark.Assign(*stat);
  return Verdict::kShown;
}

Verdict ProcWalk::KeepKernelThread(Target t, const PidStat& stat) {
  ProcessRecord& r = t.record;
  r.Forget();
  r.kernelThread = true;
  r.mark.Assign(stat);
  // On a real /proc, a pidfd in place of the stat, where the kernel gives
  // one for the very PID listed and the stat file still answers after it:
  // the kernel thread held the PID all along, so the pidfd holds it.
  if (door_.procfs() && r.hold == Hold::kStat) {
    UniqueFd pidfd = PidfdOpen(r.pid);
    ReadStatus status;
    if (pidfd.valid() && door_.PidfdPid(pidfd.get()) == r.pid &&
        door_.ReadStat(r.held.get(), status)) {
      t.holder.Release(r);
      t.holder.Keep(r, Hold::kPidfd, std::move(pidfd));
    }
  }
  return Verdict::kHidden;
}

// ---------------------------------------------------------------------------
// The rebuild: who each process is as above, then the rest of its figures.

void ProcWalk::BeginRebuild(bool checked) {
  trustNames_ = checked;
  const int64_t now = clock_.GetTickCount();
  rereadNames_ = checked && (!namesReadAt_ || now - *namesReadAt_ >= kNameRereadSpacingMs);
  if (rereadNames_ || !checked) namesReadAt_ = now;
}

bool ProcWalk::ReadRow(const Listing& listing, size_t index, ProcessEntry& entry) {
  const Target t = TargetOf(listing, index);
  for (const bool firstTry : {true, false}) {
    if (Identify(t, listing, trustNames_) != Verdict::kShown) return false;
    switch (ReadFigures(t, listing, firstTry, entry)) {
      case Outcome::kRead:
        return true;
      case Outcome::kGone:
        return false;
      case Outcome::kAskAgain:
        t.record.Forget();  // and its verdict: Identify decides afresh
        break;
    }
  }
  return false;
}

namespace {

void Fill(ProcessEntry& entry, const StatFigures& f) {
  entry.pcPriClassBase = f.priority;
  entry.cntThreads = f.threads;
  entry.th32DefaultHeapID = f.startBrk;
  entry.th32ParentProcessID = f.ppid;
  entry.startTime = f.startTime;
}

}  // namespace

ProcWalk::Outcome ProcWalk::ReadFigures(Target t, const Listing& listing, bool firstTry,
                                        ProcessEntry& entry) {
  const ProcessRecord& r = t.record;
  entry.th32ProcessID = r.pid;
  entry.cntUsage = 0;
  entry.th32ModuleID = 0;
  Fill(entry, StatFigures{});
  // The check read the held stat, and nothing else. Where nothing else is
  // to be read (another user's process, whose fd directory may not be
  // listed), its figures are the row's.
  const bool moreToRead = rereadNames_ || r.exeStatable || door_.readsAll();
  if (r.figuresFromCheck && !moreToRead) {
    entry.szExeFile = r.name;
    Fill(entry, r.lastFigures);
    return Outcome::kRead;
  }
  return ReadUnderWitness(t, listing, firstTry, entry);
}

ProcWalk::Outcome ProcWalk::ReadUnderWitness(Target t, const Listing& listing, bool firstTry,
                                             ProcessEntry& entry) {
  ProcessRecord& r = t.record;
  ReadStatus status;
  Witness witness(r, door_, status);
  if (!witness.valid()) {
    if (status == ReadStatus::kGone) return Outcome::kGone;
    // No stat to be had (no descriptor free): what was read of it last,
    // never another process's figures.
    entry.szExeFile = r.name;
    Fill(entry, r.lastFigures);
    entry.cntUsage = r.lastDescriptors;
    entry.th32ModuleID = r.inode;
    r.figuresUnread = true;
    return Outcome::kRead;
  }

  const bool exeInReach = ReadByPath(r, entry);
  std::optional<PidStat> stat = witness.Read(status);
  // The executable's inode is that of its program while it runs it; a new
  // one is read by path, and the witness read once more after it.
  if (stat && exeInReach && (r.inode == 0 || !r.mark.SameProgram(*stat))) {
    r.inode = door_.ExeInode(r.pid);
    stat = witness.Read(status);
  }
  if (status == ReadStatus::kGone) {
    // The process the witness was opened for is gone: held from an earlier
    // walk, its PID may be another process's now.
    t.holder.Release(r);
    return firstTry ? Outcome::kAskAgain : Outcome::kGone;
  }
  if (stat && stat->IsKernelThread()) {
    KeepKernelThread(t, *stat);
    r.verdict = Verdict::kHidden;
    return Outcome::kGone;
  }
  if (stat) {
    // A stat opened now is of whoever holds the PID now; the name read
    // before it is that process's only if it was running at the listing.
    if (firstTry && r.hold != Hold::kStat && !listing.RunningBefore(stat->starttime)) {
      t.holder.Keep(r, Hold::kStat, witness.TakeOpened());
      return Outcome::kAskAgain;
    }
    r.mark.Assign(*stat);
    if (r.source == NameSource::kComm) r.name.Assign(stat->comm);
    r.lastFigures = StatFigures::Of(*stat);
    r.lastDescriptors = entry.cntUsage;
    Fill(entry, r.lastFigures);
    if (exeInReach) entry.th32ModuleID = r.inode;
    if (r.hold != Hold::kStat) t.holder.Keep(r, Hold::kStat, witness.TakeOpened());
  }
  entry.szExeFile = r.name;
  return Outcome::kRead;
}

bool ProcWalk::ReadByPath(ProcessRecord& r, ProcessEntry& entry) {
  if (rereadNames_ && r.source != NameSource::kLink) RereadName(r);
  // A process whose link you may not read has an fd directory you may not
  // list (both are its owner's), and a zombie's is empty; root may list any.
  const bool exeInReach = r.source == NameSource::kLink || r.exeStatable;
  if (exeInReach || door_.readsAll()) {
    entry.cntUsage = door_.CountDescriptors(r.pid).value_or(r.lastDescriptors);
  }
  return exeInReach;
}

void ProcWalk::RereadName(ProcessRecord& record) {
  ReadStatus status;
  const std::string_view argv0 = door_.ReadArgv0Path(record.pid, status);
  if (!argv0.empty()) {
    record.name.Assign(argv0);
    record.source = NameSource::kArgv0;
  } else if (HasText(status)) {
    record.source = NameSource::kComm;  // named from the stat read next
  }
}

}  // namespace pelmora::platform::linux_os
