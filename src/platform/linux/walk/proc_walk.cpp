// SPDX-License-Identifier: MIT
#include "platform/linux/walk/proc_walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <optional>

#include "platform/linux/io/pidfd.h"

namespace pelmora::platform::linux_os {

ProcWalk::ProcWalk(std::string root_path, size_t heldFileBudget)
    : listing_(std::move(root_path)),
      known_(heldFileBudget),
      listerUid_(::geteuid() == 0 ? static_cast<uid_t>(-1) : ::geteuid()) {}

void ProcWalk::List() {
  listing_.List();
  checked_ = false;
  known_.Retain(listing_.pids());
  // After the listing: a kernel thread alive now was the one listed.
  known_.ForgetEnded();
}

void ProcWalk::KeepKernelThread(int64_t pid, const PidStat& stat, UniqueFd statFile) {
  KnownProcess process;
  process.pid = pid;
  process.kind = Known::kKernelThread;
  process.mark.Assign(stat);
  process.stat = std::move(statFile);
  // On a real /proc, a pidfd in place of the stat, where the kernel gives
  // one for the very PID listed and the stat file still answers after it:
  // the kernel thread held the PID all along, so the pidfd holds it.
  if (listing_.procfs()) {
    UniqueFd pidfd = PidfdOpen(pid);
    ReadStatus status;
    if (pidfd.valid() && PidfdPid(listing_.root(), "", pidfd.get()) == pid &&
        ReadStatFd(process.stat.get(), buffers_, status)) {
      process.pidfd = std::move(pidfd);
      process.stat.Reset();
    }
  }
  known_.Keep(std::move(process));
}

bool ProcWalk::HeldFileGone(int fd) const {
  if (listing_.procfs()) return false;
  struct stat st {};
  return ::fstat(fd, &st) != 0 || st.st_nlink == 0;
}

std::optional<PidStat> ProcWalk::ReadHeld(KnownProcess& process) {
  ReadStatus status;
  std::optional<PidStat> stat = ReadStatFd(process.stat.get(), buffers_, status);
  if (!stat || HeldFileGone(process.stat.get())) {
    // Reaped (the PID may have been taken over since) or unreadable now.
    known_.Forget(process.pid);
    return std::nullopt;
  }
  return stat;
}

bool ProcWalk::CheckPath(size_t index, std::string& path) {
  checked_ = true;
  const int64_t pid = listing_.pids()[index];
  KnownProcess* process = known_.Find(pid);
  if (process && process->pidfd.valid()) {  // a kernel thread, alive after the listing
    listing_.Record(index, Found::kSkipped, {});
    return false;
  }
  if (process && process->kind != Known::kLinked) {
    const std::optional<PidStat> stat = ReadHeld(*process);
    if (stat && stat->IsKernelThread()) {
      listing_.Record(index, Found::kSkipped, {});
      return false;
    }
    if (stat && process->kind == Known::kNamed && process->mark.Matches(*stat)) {
      path.assign(process->name);
      listing_.Record(index, Found::kRemembered, path, process->exeStatable, &*stat);
      return true;
    }
    if (stat) {
      // A new program: named anew, from the stat just read and its file.
      UniqueFd held = std::move(process->stat);
      known_.Forget(pid);
      return FirstSight(index, path, std::move(held), stat);
    }
  }
  return FirstSight(index, path, UniqueFd(), std::nullopt);
}

bool ProcWalk::FirstSight(size_t index, std::string& path, UniqueFd statFile,
                          std::optional<PidStat> stat) {
  const int64_t pid = listing_.pids()[index];
  ProcessFiles files(listing_.root(), pid);
  const ssize_t n = ReadExeLink(files, buffers_);
  if (n >= 0) {
    path.assign(buffers_.link.data(), static_cast<size_t>(n));
    listing_.Record(index, Found::kLink, path);
    return true;
  }
  const int linkError = errno;
  // The link cannot be read: whatever the process was known as is no more.
  known_.Forget(pid);

  ReadStatus status = ReadStatus::kOk;
  if (!stat) {
    statFile = OpenStat(files, status);
    if (statFile.valid()) stat = ReadStatFd(statFile.get(), buffers_, status);
  }
  if (status == ReadStatus::kGone) {
    listing_.Record(index, Found::kSkipped, {});
    return false;
  }
  if (!stat) {
    // A stat that cannot be read tells no kernel thread and no program:
    // named by an absolute argv[0] alone, and read afresh at every check.
    if (!FallbackName(files, nullptr, buffers_, path)) {
      listing_.Record(index, Found::kSkipped, {});
      return false;
    }
    listing_.Record(index, Found::kFallback, path, ExeStatable(linkError));
    return true;
  }
  if (stat->IsKernelThread()) {
    KeepKernelThread(pid, *stat, std::move(statFile));
    listing_.Record(index, Found::kSkipped, {});
    return false;
  }
  KnownProcess process;
  process.pid = pid;
  process.mark.Assign(*stat);
  process.stat = std::move(statFile);
  if (!FallbackName(files, &*stat, buffers_, path)) {
    listing_.Record(index, Found::kSkipped, {});
    return false;
  }
  process.kind = Known::kNamed;
  process.exeStatable = ExeStatable(linkError);
  process.name = path;
  known_.Keep(std::move(process));
  listing_.Record(index, Found::kFallback, path, ExeStatable(linkError));
  return true;
}

void ProcWalk::BeginRebuild() {
  inodes_.BeginRebuild();
  const auto now = std::chrono::steady_clock::now();
  rereadNames_ = !checked_ || now - namesReadAt_ >= kNameRereadSpacing;
  if (rereadNames_) namesReadAt_ = now;
}

bool ProcWalk::ReadEntry(size_t index, ProcessEntry& entry) {
  const int64_t pid = listing_.pids()[index];
  // A check stops at the first change it meets; past it, the rebuild finds
  // each process as the check would have.
  if (checked_ && listing_.FoundAt(index).kind == Found::kUnread) CheckPath(index, entry.szExeFile);
  const FoundPath found = listing_.FoundAt(index);
  if (found.kind == Found::kSkipped) return false;  // as the check found it moments ago

  ProcessFiles files(listing_.root(), pid);
  KnownProcess* known = known_.Find(pid);
  if (known && known->kind == Known::kKernelThread) {
    if (known->pidfd.valid() || ReadHeld(*known)) return false;  // the same kernel thread
    known = nullptr;
  }

  // The witness: a stat file of this process, held from an earlier walk or
  // opened now, before anything of it is read by path, and read after. A
  // stat file belongs to the process it was opened for and answers "gone"
  // once that process is reaped, so while it answers the PID was this
  // process's all along, and no other process's figures reach its row.
  UniqueFd opened;
  if (!known) {
    ReadStatus status;
    opened = OpenStat(files, status);
    if (!opened.valid()) return false;  // gone, or nothing to vouch for its reads
  }
  std::optional<PidStat> stat;  // the witness's figures, where they could be read
  const auto readWitness = [&]() -> bool {
    if (known) {
      stat = ReadHeld(*known);
      if (!stat) known = nullptr;  // forgotten: gone, or its stat unreadable now
      return stat.has_value();
    }
    ReadStatus status;
    stat = ReadStatFd(opened.get(), buffers_, status);
    return status != ReadStatus::kGone && !HeldFileGone(opened.get());
  };
  bool readByPath = false;

  // The path. The check's is this process's when the process ran before the
  // listing (its held file tells its start time) or when the check named it
  // from that held file; a fresh snapshot (更新) reads every path again,
  // and a rebuild every remembered name now and then (BeginRebuild).
  const bool listedBefore = known && listing_.ListedBefore(known->mark.startTime);
  bool fromLink = false;
  bool exeStatable = false;
  bool commForName = false;  // named by its command name, taken from the stat read below
  const bool remembered = found.kind == Found::kRemembered && known;
  if ((remembered && !rereadNames_) ||
      (listedBefore && (found.kind == Found::kLink || found.kind == Found::kFallback))) {
    entry.szExeFile.assign(listing_.PathOf(found));
    fromLink = found.kind == Found::kLink;
    exeStatable = found.exeStatable;
  } else if (remembered) {
    // Its link could not be read and it started no program since: its
    // command line alone is read again.
    readByPath = true;
    exeStatable = found.exeStatable;
    commForName = !FallbackName(files, nullptr, buffers_, entry.szExeFile);
  } else {
    readByPath = true;
    const ssize_t n = ReadExeLink(files, buffers_);
    fromLink = n >= 0;
    if (fromLink) {
      entry.szExeFile.assign(buffers_.link.data(), static_cast<size_t>(n));
    } else {
      exeStatable = ExeStatable(errno);
      commForName = !FallbackName(files, nullptr, buffers_, entry.szExeFile);
    }
  }

  // Descriptors, where they may be listed: a process whose link you may not
  // read has an fd directory you may not list (both are its owner's), and a
  // zombie's is empty; root may list any.
  entry.cntUsage = 0;
  if (fromLink || exeStatable || listerUid_ == static_cast<uid_t>(-1)) {
    readByPath = true;
    entry.cntUsage = CountDescriptors(files, listing_.procfs(), listerUid_, buffers_.dirents);
  }
  entry.th32ModuleID = 0;
  if (!fromLink && exeStatable) {
    readByPath = true;
    entry.th32ModuleID = ExeInode(files);
  }

  // The figures: the check's, where it read them from the held file of a
  // process it knew and nothing was read by path since; else the witness's.
  StatFigures figures;
  if (!readByPath && found.kind == Found::kRemembered) {
    figures = found.figures;
  } else {
    if (!readWitness()) return false;
    if (stat && stat->IsKernelThread()) {
      if (opened.valid()) KeepKernelThread(pid, *stat, std::move(opened));
      return false;
    }
    if (stat) figures = StatFigures::Of(*stat);
    if (commForName) {
      if (!stat || stat->comm.empty()) return false;  // no name to be had
      entry.szExeFile.assign(stat->comm);
    }
  }

  if (fromLink && stat) {
    // The inode cache's key is the stat just read; a miss is taken by path
    // and vouched for by the witness once more.
    const PidStat key = *stat;
    uint64_t inode = inodes_.Find(key, entry.szExeFile);
    if (inode == 0) {
      inode = ExeInode(files);
      if (!readWitness()) return false;
    }
    if (inode != 0) inodes_.Record(key, entry.szExeFile, inode);
    entry.th32ModuleID = inode;
  } else if (fromLink) {
    entry.th32ModuleID = ExeInode(files);
  }

  // What the next check compares against is what the list now shows; a
  // stat opened here is held from now on, within the budget.
  if (!known && opened.valid() && stat) {
    KnownProcess process;
    process.pid = pid;
    process.stat = std::move(opened);
    known = known_.Keep(std::move(process));
  }
  if (known && stat) {
    known->kind = fromLink ? Known::kLinked : Known::kNamed;
    known->mark.Assign(*stat);
    known->exeStatable = exeStatable;
    if (fromLink) {
      known->name.clear();
    } else {
      known->name = entry.szExeFile;
    }
  }

  entry.th32ProcessID = pid;
  entry.pcPriClassBase = figures.priority;
  entry.cntThreads = figures.threads;
  entry.th32DefaultHeapID = figures.startBrk;
  entry.th32ParentProcessID = figures.ppid;
  entry.startTime = figures.startTime;
  return true;
}

}  // namespace pelmora::platform::linux_os
