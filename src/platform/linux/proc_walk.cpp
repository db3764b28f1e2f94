// SPDX-License-Identifier: MIT
#include "platform/linux/proc_walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

namespace pelmora::platform::linux_os {

ProcWalk::ProcWalk(std::string root_path, size_t heldFileBudget)
    : listing_(std::move(root_path)), known_(heldFileBudget), listerUid_(::geteuid() == 0 ? static_cast<uid_t>(-1) : ::geteuid()) {}

void ProcWalk::List() {
  listing_.List();
  known_.Retain(listing_.pids());
}

bool ProcWalk::HeldFileGone(int fd) const {
  if (listing_.procfs()) return false;
  struct stat st {};
  return ::fstat(fd, &st) != 0 || st.st_nlink == 0;
}

int ProcWalk::CheckKnown(KnownProcess& process, size_t index, std::string& path) {
  ReadStatus status;
  const std::optional<PidStat> stat = ReadStatFd(process.stat.get(), buffers_.stat, status);
  if (!stat || HeldFileGone(process.stat.get())) {
    // Reaped (the PID may have been taken over since) or unreadable now.
    known_.Forget(process.pid);
    return -1;
  }
  if (stat->IsKernelThread()) {
    listing_.Record(index, Found::kSkipped, {});
    return 0;
  }
  if (process.kernelThread || !process.mark.Matches(*stat)) {
    known_.Forget(process.pid);  // a new program: its name is read anew
    return -1;
  }
  path.assign(process.name);
  listing_.Record(index, Found::kRemembered, path, process.exeStatable);
  return 1;
}

bool ProcWalk::CheckPath(size_t index, std::string& path) {
  const int64_t pid = listing_.pids()[index];
  if (KnownProcess* process = known_.Find(pid)) {
    const int outcome = CheckKnown(*process, index, path);
    if (outcome >= 0) return outcome == 1;
  }
  return FirstSight(index, path);
}

bool ProcWalk::FirstSight(size_t index, std::string& path) {
  const int64_t pid = listing_.pids()[index];
  ProcessFiles files(listing_.root(), pid);
  const ssize_t n = ReadExeLink(files, buffers_);
  if (n >= 0) {
    path.assign(buffers_.link.data(), static_cast<size_t>(n));
    listing_.Record(index, Found::kLink, path);
    return true;
  }
  const int linkError = errno;

  UniqueFd statFile(::openat(listing_.root(), files.Name("stat"), O_RDONLY | O_CLOEXEC));
  ReadStatus status = statFile.valid() ? ReadStatus::kOk : StatusOfErrno(errno);
  std::optional<PidStat> stat;
  if (statFile.valid()) stat = ReadStatFd(statFile.get(), buffers_.stat, status);
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
    KnownProcess thread;
    thread.pid = pid;
    thread.kernelThread = true;
    thread.stat = std::move(statFile);
    known_.Keep(std::move(thread));
    listing_.Record(index, Found::kSkipped, {});
    return false;
  }
  if (!FallbackName(files, &*stat, buffers_, path)) {
    listing_.Record(index, Found::kSkipped, {});
    return false;
  }
  KnownProcess process;
  process.pid = pid;
  process.exeStatable = ExeStatable(linkError);
  process.stat = std::move(statFile);
  process.mark = ProgramMark::Of(*stat);
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
  // answers, the directory is of the same process.
  KnownProcess* known = known_.Find(pid);
  std::optional<PidStat> stat;
  if (known) {
    stat = ReadStatFd(known->stat.get(), buffers_.stat, status);
    if (!stat || HeldFileGone(known->stat.get())) {
      known_.Forget(pid);
      known = nullptr;
    }
  }
  if (!known) stat = ReadStat(files, buffers_.stat, status);
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
    if (n >= 0) {
      entry.szExeFile.assign(buffers_.link.data(), static_cast<size_t>(n));
      fromLink = true;
      if (known) known_.Forget(pid);
      known = nullptr;
    } else {
      if (!FallbackName(files, stat ? &*stat : nullptr, buffers_, entry.szExeFile)) return false;
      exeStatable = remembered ? found.exeStatable : ExeStatable(linkError);
      if (known && stat) {
        // What the next check compares against is what the list now shows.
        known->name = entry.szExeFile;
        known->mark.Assign(*stat);
        known->exeStatable = exeStatable;
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
