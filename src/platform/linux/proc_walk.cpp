// SPDX-License-Identifier: MIT
#include "platform/linux/proc_walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

namespace pelmora::platform::linux_os {

ProcWalk::ProcWalk(std::string root_path, size_t heldFileBudget)
    : listing_(std::move(root_path)),
      known_(heldFileBudget),
      listerUid_(::geteuid() == 0 ? static_cast<uid_t>(-1) : ::geteuid()) {}

void ProcWalk::List() {
  listing_.List();
  known_.Retain(listing_.pids());
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
  const int64_t pid = listing_.pids()[index];
  KnownProcess* process = known_.Find(pid);
  if (process && process->kind != Known::kLinked) {
    const std::optional<PidStat> stat = ReadHeld(*process);
    if (stat && stat->IsKernelThread()) {
      listing_.Record(index, Found::kSkipped, {});
      return false;
    }
    if (stat && process->kind == Known::kNamed && process->mark.Matches(*stat)) {
      path.assign(process->name);
      listing_.Record(index, Found::kRemembered, path, process->exeStatable);
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
  KnownProcess process;
  process.pid = pid;
  process.mark.Assign(*stat);
  process.stat = std::move(statFile);
  if (stat->IsKernelThread()) {
    process.kind = Known::kKernelThread;
    known_.Keep(std::move(process));
    listing_.Record(index, Found::kSkipped, {});
    return false;
  }
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

bool ProcWalk::ReadEntry(size_t index, ProcessEntry& entry) {
  const int64_t pid = listing_.pids()[index];
  const FoundPath found = listing_.FoundAt(index);
  if (found.kind == Found::kSkipped) return false;  // as the check found it moments ago

  ReadStatus status;
  const UniqueFd dir = OpenProcessDir(listing_.root(), pid, status);
  if (!dir.valid()) return false;
  ProcessFiles files(dir.get());

  // The held stat is read after the directory was opened: while it still
  // answers, the directory is of the same process. Without one, the stat
  // opened through the directory is held from now on.
  KnownProcess* known = known_.Find(pid);
  std::optional<PidStat> stat;
  if (known) {
    stat = ReadHeld(*known);
    if (!stat) known = nullptr;
  }
  UniqueFd statFile;
  if (!known) {
    statFile = OpenStat(files, status);
    if (statFile.valid()) stat = ReadStatFd(statFile.get(), buffers_, status);
  }
  if (status == ReadStatus::kGone || (stat && stat->IsKernelThread())) return false;

  // The check's path is this process's when it ran before the listing; a
  // link is taken as read, a name read by the check is too, and a name
  // remembered from earlier checks is read again here, so that a name
  // changed in place (argv[0] rewritten) shows at a rebuild.
  const bool listedBefore = stat && listing_.ListedBefore(stat->starttime);
  bool fromLink = false;
  bool exeStatable = false;
  if (listedBefore && (found.kind == Found::kLink || found.kind == Found::kFallback)) {
    entry.szExeFile.assign(listing_.PathOf(found));
    fromLink = found.kind == Found::kLink;
    exeStatable = found.exeStatable;
  } else {
    // A process remembered by name had no readable link when first seen,
    // and has started no program since: its link is not tried again.
    const bool remembered = listedBefore && known && found.kind == Found::kRemembered;
    const ssize_t n = remembered ? -1 : ReadExeLink(files, buffers_);
    const int linkError = remembered ? EACCES : errno;
    fromLink = n >= 0;
    if (fromLink) {
      entry.szExeFile.assign(buffers_.link.data(), static_cast<size_t>(n));
    } else {
      if (!FallbackName(files, stat ? &*stat : nullptr, buffers_, entry.szExeFile)) return false;
      exeStatable = remembered ? found.exeStatable : ExeStatable(linkError);
    }
  }
  if (stat) {
    // What the next check compares against is what the list now shows.
    if (!known && statFile.valid()) {
      KnownProcess process;
      process.pid = pid;
      process.stat = std::move(statFile);
      known = known_.Keep(std::move(process));
    }
    if (known) {
      known->kind = fromLink ? Known::kLinked : Known::kNamed;
      known->mark.Assign(*stat);
      known->exeStatable = exeStatable;
      if (fromLink) {
        known->name.clear();
      } else {
        known->name = entry.szExeFile;
      }
    }
  }

  const PidStat fields = stat.value_or(PidStat{});
  entry.cntUsage = CountDescriptors(files, listing_.procfs(), listerUid_, buffers_.dirents);
  entry.th32ProcessID = pid;
  entry.pcPriClassBase = fields.priority;
  entry.cntThreads = fields.num_threads;
  entry.th32DefaultHeapID = fields.start_brk;
  entry.th32ParentProcessID = fields.ppid;
  entry.startTime = fields.starttime;
  entry.th32ModuleID = 0;
  if (fromLink && stat) {
    uint64_t inode = inodes_.Find(*stat, entry.szExeFile);
    if (inode == 0) inode = ExeInode(files);
    if (inode != 0) inodes_.Record(*stat, entry.szExeFile, inode);
    entry.th32ModuleID = inode;
  } else if (fromLink || exeStatable) {
    entry.th32ModuleID = ExeInode(files);
  }
  return true;
}

}  // namespace pelmora::platform::linux_os
