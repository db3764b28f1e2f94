// SPDX-License-Identifier: MIT
#include "platform/linux/walk/proc_walk.h"

#include <unistd.h>

#include <cerrno>

#include "platform/linux/io/pidfd.h"
#include "platform/linux/walk/witness.h"

namespace pelmora::platform::linux_os {

ProcWalk::ProcWalk(std::string rootPath, size_t heldBudget, TickClock& clock)
    : root_(std::move(rootPath)),
      records_(heldBudget),
      clock_(clock),
      listerUid_(::geteuid() == 0 ? static_cast<uid_t>(-1) : ::geteuid()) {}

void ProcWalk::List(Listing& listing) {
  root_.List(listing);
  records_.Relist(listing.pids);
}

ProcWalk::Target ProcWalk::TargetOf(const Listing& listing, size_t index) {
  if (listing.number == root_.listings()) return {records_[index], records_};
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
  r.figures.reset();
  r.verdict = Recognise(t, trustNames);
  return r.verdict;
}

Verdict ProcWalk::Recognise(Target t, bool trustNames) {
  ProcessRecord& r = t.record;
  if (r.hold == Hold::kPidfd) return Verdict::kHidden;  // a kernel thread alive after the listing
  // Named without its link (or a kernel thread): its held stat tells
  // whether it still runs the same program, in one read.
  if (r.hold == Hold::kStat && (r.kernelThread || r.source != NameSource::kLink)) {
    ReadStatus status;
    const std::optional<PidStat> stat = ReadStat(r.held.get(), root_.procfs(), buffers_, status);
    if (!stat) {
      // Reaped (the PID is another process's now) or unreadable now.
      t.holder.Release(r);
      r.Forget();
      return FirstSight(t, nullptr);
    }
    if (stat->IsKernelThread()) return KeepKernelThread(t, *stat);
    if (trustNames && !r.kernelThread && r.mark.SameProgram(*stat)) {
      // The stat was all that was read: its figures are the row's.
      r.figures = StatFigures::Of(*stat);
      return Verdict::kShown;
    }
    return FirstSight(t, &*stat);
  }
  return FirstSight(t, nullptr);
}

Verdict ProcWalk::FirstSight(Target t, const PidStat* stat) {
  ProcessRecord& r = t.record;
  ProcessFiles files(root_.fd(), r.pid);
  const ssize_t n = ReadExeLink(files, buffers_);
  if (n >= 0) {
    const std::string_view link(buffers_.link.data(), static_cast<size_t>(n));
    if (r.source != NameSource::kLink || r.name != link) {
      r.name.Assign(link);
      r.inode = 0;  // the inode kept was of another path
    }
    r.source = NameSource::kLink;
    r.exeStatable = false;
    r.kernelThread = false;
    return Verdict::kShown;
  }
  const int linkError = errno;
  if (stat) return NameWithoutLink(t, files, stat, linkError);
  ReadStatus status;
  const std::optional<PidStat> read = ReadOrOpenStat(t, files, status);
  if (status == ReadStatus::kGone) return Verdict::kHidden;
  return NameWithoutLink(t, files, read ? &*read : nullptr, linkError);
}

std::optional<PidStat> ProcWalk::ReadOrOpenStat(Target t, ProcessFiles& files, ReadStatus& status) {
  ProcessRecord& r = t.record;
  if (r.hold == Hold::kStat) {
    if (auto stat = ReadStat(r.held.get(), root_.procfs(), buffers_, status)) return stat;
    t.holder.Release(r);  // its process was reaped: the PID is another's now
  }
  UniqueFd fd = OpenStat(files, status);
  if (!fd.valid()) return std::nullopt;
  std::optional<PidStat> stat = ReadStat(fd.get(), root_.procfs(), buffers_, status);
  if (stat) t.holder.Keep(r, Hold::kStat, std::move(fd));
  return stat;
}

Verdict ProcWalk::NameWithoutLink(Target t, ProcessFiles& files, const PidStat* stat,
                                  int linkError) {
  ProcessRecord& r = t.record;
  if (stat && stat->IsKernelThread()) return KeepKernelThread(t, *stat);
  ReadStatus status;
  const std::string_view argv0 = ReadArgv0Path(files, buffers_, status);
  if (status == ReadStatus::kGone) return Verdict::kHidden;
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
  r.exeStatable = ExeStatable(linkError);
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
  if (root_.procfs() && r.hold == Hold::kStat) {
    UniqueFd pidfd = PidfdOpen(r.pid);
    ReadStatus status;
    if (pidfd.valid() && PidfdPid(root_.fd(), pidfd.get()) == r.pid &&
        ReadStat(r.held.get(), true, buffers_, status)) {
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
  const bool moreToRead = rereadNames_ || r.exeStatable || listerUid_ == static_cast<uid_t>(-1);
  if (r.figures && !moreToRead) {
    entry.szExeFile = r.name;
    Fill(entry, *r.figures);
    return Outcome::kRead;
  }
  return ReadUnderWitness(t, listing, firstTry, entry);
}

ProcWalk::Outcome ProcWalk::ReadUnderWitness(Target t, const Listing& listing, bool firstTry,
                                             ProcessEntry& entry) {
  ProcessRecord& r = t.record;
  ProcessFiles files(root_.fd(), r.pid);
  ReadStatus status;
  Witness witness(r, files, status);
  if (!witness.valid()) {
    if (status == ReadStatus::kGone) return Outcome::kGone;
    // No stat to be had (no descriptor free): the name alone, zeros
    // elsewhere, rather than another process's figures.
    entry.szExeFile = r.name;
    return Outcome::kRead;
  }

  const bool exeInReach = ReadByPath(r, files, entry);
  std::optional<PidStat> stat = witness.Read(root_.procfs(), buffers_, status);
  // The executable's inode is that of its program while it runs it; a new
  // one is read by path, and the witness read once more after it.
  if (stat && exeInReach && (r.inode == 0 || !r.mark.SameProgram(*stat))) {
    r.inode = ExeInode(files);
    stat = witness.Read(root_.procfs(), buffers_, status);
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
    Fill(entry, StatFigures::Of(*stat));
    if (exeInReach) entry.th32ModuleID = r.inode;
    if (r.hold != Hold::kStat) t.holder.Keep(r, Hold::kStat, witness.TakeOpened());
  }
  entry.szExeFile = r.name;
  return Outcome::kRead;
}

bool ProcWalk::ReadByPath(ProcessRecord& r, ProcessFiles& files, ProcessEntry& entry) {
  if (rereadNames_ && r.source != NameSource::kLink) RereadName(r, files);
  // A process whose link you may not read has an fd directory you may not
  // list (both are its owner's), and a zombie's is empty; root may list any.
  const bool exeInReach = r.source == NameSource::kLink || r.exeStatable;
  if (exeInReach || listerUid_ == static_cast<uid_t>(-1)) {
    entry.cntUsage = CountDescriptors(files, root_.procfs(), listerUid_, buffers_.dirents);
  }
  return exeInReach;
}

void ProcWalk::RereadName(ProcessRecord& record, ProcessFiles& files) {
  ReadStatus status;
  const std::string_view argv0 = ReadArgv0Path(files, buffers_, status);
  if (!argv0.empty()) {
    record.name.Assign(argv0);
    record.source = NameSource::kArgv0;
  } else if (HasText(status)) {
    record.source = NameSource::kComm;  // named from the stat read next
  }
}

}  // namespace pelmora::platform::linux_os
