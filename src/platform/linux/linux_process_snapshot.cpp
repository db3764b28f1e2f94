// SPDX-License-Identifier: MIT
#include "platform/linux/linux_process_snapshot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/proc_file_io.h"
#include "platform/linux/proc_pid_parsers.h"

namespace pelmora::platform::linux_os {

namespace {

// The kernel never writes a link target of 4096 bytes or more (it reports
// ENAMETOOLONG instead), so a link that fills this buffer is not trusted and
// takes the fallback like any unreadable link.
constexpr size_t kLinkBufferSize = 4096;
// stat is well under 1 KiB; the cap only guards against a hostile tree.
constexpr size_t kMaxStatBytes = 64 * 1024;
// argv[0] alone may be 128 KiB (MAX_ARG_STRLEN); reading stops at its NUL.
constexpr size_t kMaxCmdlineBytes = 256 * 1024;

// "PID" or "PID/name", NUL-terminated, in a fixed buffer.
class PidPath {
 public:
  PidPath(int64_t pid, std::string_view name = {}) {
    char* const end = text_.data() + text_.size() - 1;
    char* at = std::to_chars(text_.data(), end, pid).ptr;
    if (!name.empty() && static_cast<size_t>(end - at) > name.size()) {
      *at++ = '/';
      at = std::copy(name.begin(), name.end(), at);
    }
    *at = '\0';
  }
  const char* c_str() const { return text_.data(); }

 private:
  std::array<char, 32> text_{};
};

}  // namespace

// Everything a walk needs besides its cursor. It outlives the walk so the
// next snapshot reuses the open root and the grown buffers.
struct ProcWalkState {
  UniqueFd root;
  std::vector<int64_t> pids;
  std::string stat_storage;
  std::string cmdline_storage;
  std::array<char, kLinkBufferSize> link{};
  DirentBuffer dirents;

  // Lists the numeric entries of the root, ascending.
  void ListPids(const std::string& proc_root) {
    pids.clear();
    if (!root.valid()) {
      root.Reset(::open(proc_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (!root.valid()) return;
    }
    if (::lseek(root.get(), 0, SEEK_SET) != 0) return;
    ForEachDirEntry(root.get(), dirents, [this](std::string_view name) {
      if (const auto pid = ParsePidName(name)) pids.push_back(*pid);
    });
    std::sort(pids.begin(), pids.end());
    pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
  }

  // The target of `exe` below dir_fd into `link`; its length, or -1.
  ssize_t ReadExeLink(int dir_fd, const char* name) {
    const ssize_t n = ::readlinkat(dir_fd, name, link.data(), link.size());
    return (n >= 0 && static_cast<size_t>(n) < link.size()) ? n : -1;
  }

  // Reads and parses the stat of the process directory dir_fd. `status`
  // tells a vanished process from an unreadable or garbled file.
  std::optional<PidStat> ReadStat(int dir_fd, ReadStatus& status) {
    std::string_view text;
    status = ReadFileAt(dir_fd, "stat", stat_storage, text, kMaxStatBytes);
    if (status != ReadStatus::kOk) return std::nullopt;
    return ParsePidStat(text);
  }

  // The path of a process whose exe link could not be read: an absolute
  // argv[0], else the command name. False when the process vanished.
  bool FallbackPath(int dir_fd, const char* cmdline_name, const PidStat& stat, std::string& path) {
    std::string_view cmdline;
    const ReadStatus status =
        ReadFileAt(dir_fd, cmdline_name, cmdline_storage, cmdline, kMaxCmdlineBytes, true);
    if (status == ReadStatus::kGone) return false;
    const std::string_view argv0 = Argv0(cmdline);
    if (!argv0.empty() && argv0.front() == '/') {
      path.assign(argv0);
    } else {
      path.assign(stat.comm);
    }
    return true;
  }

  // The path of a process the cheap way: one readlink, and the fallback only
  // where that fails (kernel threads, zombies, other users' processes), read
  // through names below the root to spare the directory descriptor. False
  // to skip the process.
  bool ReadPath(int64_t pid, std::string& path) {
    const ssize_t n = ReadExeLink(root.get(), PidPath(pid, "exe").c_str());
    if (n >= 0) {
      path.assign(link.data(), static_cast<size_t>(n));
      return true;
    }
    std::string_view text;
    if (ReadFileAt(root.get(), PidPath(pid, "stat").c_str(), stat_storage, text, kMaxStatBytes) !=
        ReadStatus::kOk) {
      return false;
    }
    const auto stat = ParsePidStat(text);
    if (!stat || stat->IsKernelThread()) return false;
    return FallbackPath(root.get(), PidPath(pid, "cmdline").c_str(), *stat, path);
  }

  // Every field of one process. False to skip it.
  bool ReadEntry(int64_t pid, ProcessEntry& entry) {
    // One directory descriptor for all reads: should the PID be reused
    // meanwhile, reads through it fail rather than mix two processes.
    const UniqueFd dir(
        ::openat(root.get(), PidPath(pid).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid()) return false;

    const ssize_t n = ReadExeLink(dir.get(), "exe");
    ReadStatus status;
    const auto stat = ReadStat(dir.get(), status);
    if (status == ReadStatus::kGone) return false;
    if (n >= 0) {
      entry.szExeFile.assign(link.data(), static_cast<size_t>(n));
    } else {
      // No executable: a kernel thread, a zombie, or not ours to look at.
      if (!stat || stat->IsKernelThread()) return false;
      if (!FallbackPath(dir.get(), "cmdline", *stat, entry.szExeFile)) return false;
    }

    const int64_t fds = CountDirEntriesAt(dir.get(), "fd", dirents);
    entry.cntUsage = fds < 0 ? 0 : fds;
    entry.th32ProcessID = pid;
    const PidStat fields = stat.value_or(PidStat{});
    entry.pcPriClassBase = fields.priority;
    entry.cntThreads = fields.num_threads;
    entry.th32DefaultHeapID = fields.start_brk;
    entry.th32ParentProcessID = fields.ppid;
    entry.startTime = fields.starttime;
    struct stat exe_stat {};
    entry.th32ModuleID = ::fstatat(dir.get(), "exe", &exe_stat, 0) == 0 ? exe_stat.st_ino : 0;
    return true;
  }
};

namespace {

class LinuxProcessSnapshot : public platform::ProcessSnapshot {
 public:
  explicit LinuxProcessSnapshot(std::shared_ptr<ProcWalkState> state) : state_(std::move(state)) {}

  bool Process32First(ProcessEntry& entry) override {
    next_ = 0;
    return Process32Next(entry);
  }

  bool Process32Next(ProcessEntry& entry) override {
    while (next_ < state_->pids.size()) {
      if (state_->ReadEntry(state_->pids[next_++], entry)) return true;
    }
    return false;
  }

  bool PathFirst(std::string& path) override {
    next_ = 0;
    return PathNext(path);
  }

  bool PathNext(std::string& path) override {
    while (next_ < state_->pids.size()) {
      if (state_->ReadPath(state_->pids[next_++], path)) return true;
    }
    return false;
  }

 private:
  std::shared_ptr<ProcWalkState> state_;
  size_t next_ = 0;
};

}  // namespace

LinuxProcessSnapshotSource::LinuxProcessSnapshotSource(std::string proc_root)
    : proc_root_(std::move(proc_root)), state_(std::make_shared<ProcWalkState>()) {}

LinuxProcessSnapshotSource::~LinuxProcessSnapshotSource() = default;

std::unique_ptr<platform::ProcessSnapshot> LinuxProcessSnapshotSource::CreateToolhelp32Snapshot() {
  // A snapshot still alive keeps its state; the new one then gets its own.
  if (state_.use_count() > 1) state_ = std::make_shared<ProcWalkState>();
  state_->ListPids(proc_root_);
  return std::make_unique<LinuxProcessSnapshot>(state_);
}

}  // namespace pelmora::platform::linux_os
