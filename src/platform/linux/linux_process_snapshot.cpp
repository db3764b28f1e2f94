// SPDX-License-Identifier: MIT
#include "platform/linux/linux_process_snapshot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
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
constexpr long kProcSuperMagic = 0x9fa0;

// "PID/name", NUL-terminated, in a fixed buffer: every read goes through the
// open /proc root, so no absolute path is built and nothing is allocated.
class PidPath {
 public:
  PidPath(int64_t pid, std::string_view name) {
    char* const end = text_.data() + text_.size() - 1;
    char* at = std::to_chars(text_.data(), end, pid).ptr;
    if (static_cast<size_t>(end - at) > name.size()) {
      *at++ = '/';
      at = std::copy(name.begin(), name.end(), at);
    }
    *at = '\0';
  }
  const char* c_str() const { return text_.data(); }

 private:
  std::array<char, 32> text_{};
};

// Clock ticks since boot, the unit of a process's start time.
uint64_t TicksSinceBoot() {
  timespec now{};
  ::clock_gettime(CLOCK_BOOTTIME, &now);
  const auto hz = static_cast<uint64_t>(::sysconf(_SC_CLK_TCK));
  return static_cast<uint64_t>(now.tv_sec) * hz +
         static_cast<uint64_t>(now.tv_nsec) * hz / 1000000000u;
}

// How a walk came by a process's path.
enum class Found : uint8_t {
  kUnread,    // not reached by the path walk
  kSkipped,   // a kernel thread, or gone
  kLink,      // the target of its exe link
  kFallback,  // argv[0] or the command name: the link cannot be read
};

struct FoundPath {
  Found kind = Found::kUnread;
  bool exeStatable = false;  // with kFallback: a link too long to read, the file still there
  uint32_t at = 0;           // the path's bytes in ProcWalkState::foundPaths
  uint32_t length = 0;
};

// What cannot change while a process runs one program: the inode of the
// executable. A process is the same one running the same program while its
// ID, start time, executable path and the places of its heap, arguments and
// environment stay the same: a new program gets them anew (at random places
// unless address randomisation is off for it).
struct KnownExe {
  int64_t pid = 0;
  uint64_t startTime = 0;
  uint64_t startBrk = 0;
  uint64_t argStart = 0;
  uint64_t envEnd = 0;
  uint64_t inode = 0;
  uint32_t at = 0;  // the path's bytes in the paths buffer of the set
  uint32_t length = 0;
};

struct KnownExeSet {
  std::vector<KnownExe> entries;  // ascending PID
  std::string paths;
  void Clear() {
    entries.clear();
    paths.clear();
  }
};

}  // namespace

// Everything a walk needs besides its cursor. It outlives the walk so the
// next snapshot reuses the open root, the grown buffers and what the walks
// learnt about the processes.
struct ProcWalkState {
  UniqueFd root;
  bool procfs = false;
  bool mayListAnyFds = ::geteuid() == 0;

  // The listing: the PIDs, ascending, and when they were listed.
  std::vector<int64_t> pids;
  uint64_t listedAt = 0;
  // What the path walk found for pids[i]; a full walk of the same snapshot
  // takes the paths from here instead of reading the links again.
  std::vector<FoundPath> found;
  std::string foundPaths;

  // PIDs of kernel threads, ascending. A kernel thread has no executable;
  // while its PID is listed and its link still reads "no such file", it is
  // that kernel thread, and its stat need not be read again.
  std::vector<int64_t> kernelThreads;
  // The inodes of the executables found by the last full walk, and those
  // of the walk under way.
  KnownExeSet known;
  KnownExeSet nextKnown;
  size_t knownCursor = 0;

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
      struct statfs fs {};
      procfs = ::fstatfs(root.get(), &fs) == 0 && fs.f_type == kProcSuperMagic;
    }
    if (::lseek(root.get(), 0, SEEK_SET) != 0) return;
    listedAt = TicksSinceBoot();
    ForEachDirEntry(root.get(), dirents, [this](std::string_view name) {
      if (const auto pid = ParsePidName(name)) pids.push_back(*pid);
    });
    std::sort(pids.begin(), pids.end());
    pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
    found.assign(pids.size(), FoundPath{});
    foundPaths.clear();
    // Kernel threads no longer listed have ended.
    kernelThreads.erase(std::remove_if(kernelThreads.begin(), kernelThreads.end(),
                                       [this](int64_t pid) {
                                         return !std::binary_search(pids.begin(), pids.end(), pid);
                                       }),
                        kernelThreads.end());
  }

  bool IsKnownKernelThread(int64_t pid) const {
    return std::binary_search(kernelThreads.begin(), kernelThreads.end(), pid);
  }
  void SetKernelThread(int64_t pid, bool is) {
    const auto at = std::lower_bound(kernelThreads.begin(), kernelThreads.end(), pid);
    const bool listed = at != kernelThreads.end() && *at == pid;
    if (is && !listed) kernelThreads.insert(at, pid);
    if (!is && listed) kernelThreads.erase(at);
  }

  // The target of the exe link into `link`; its length, or -1 with errno.
  ssize_t ReadExeLink(int64_t pid) {
    const ssize_t n =
        ::readlinkat(root.get(), PidPath(pid, "exe").c_str(), link.data(), link.size());
    if (n >= 0 && static_cast<size_t>(n) >= link.size()) {
      errno = ENAMETOOLONG;
      return -1;
    }
    return n;
  }

  std::optional<PidStat> ReadStat(int64_t pid, ReadStatus& status) {
    std::string_view text;
    status =
        ReadFileAt(root.get(), PidPath(pid, "stat").c_str(), stat_storage, text, kMaxStatBytes);
    if (status != ReadStatus::kOk) return std::nullopt;
    return ParsePidStat(text);
  }

  // argv[0] when it is an absolute path; empty otherwise. False when the
  // process vanished.
  bool AbsoluteArgv0(int64_t pid, std::string_view& argv0) {
    std::string_view cmdline;
    const ReadStatus status = ReadFileAt(root.get(), PidPath(pid, "cmdline").c_str(),
                                         cmdline_storage, cmdline, kMaxCmdlineBytes, true);
    if (status == ReadStatus::kGone) return false;
    argv0 = Argv0(cmdline);
    if (argv0.empty() || argv0.front() != '/') argv0 = {};
    return true;
  }

  // The path of a process whose exe link cannot be read (kernel threads,
  // zombies, other users' processes): argv[0] when it is absolute, else the
  // command name of its stat. `stat` is the stat the caller read, or null:
  // it is then read only where argv[0] does not do. False to skip the
  // process: a kernel thread, gone, or with no name to be had.
  bool FallbackPath(int64_t pid, const std::optional<PidStat>* stat, std::string& path) {
    if (stat && *stat && (*stat)->IsKernelThread()) {
      SetKernelThread(pid, true);
      return false;
    }
    std::string_view argv0;
    if (!AbsoluteArgv0(pid, argv0)) return false;
    if (!argv0.empty()) {
      path.assign(argv0);
      return true;
    }
    std::optional<PidStat> read;
    if (!stat) {
      ReadStatus status;
      read = ReadStat(pid, status);
      stat = &read;
    }
    if (!*stat || (*stat)->IsKernelThread()) {
      if (*stat) SetKernelThread(pid, true);
      return false;
    }
    path.assign((*stat)->comm);
    return true;
  }

  // Whether the executable can still be stat'ed after its link failed with
  // this error: only a link too long to read leaves it within reach.
  static bool ExeStatable(int linkError) {
    return linkError != ENOENT && linkError != EACCES && linkError != ESRCH;
  }

  // The inode as the kernel holds it: a network or FUSE file system is not
  // asked, so a server that stopped answering cannot hold up the walk.
  uint64_t StatExeInode(int64_t pid) {
    struct statx stx {};
    if (::statx(root.get(), PidPath(pid, "exe").c_str(), AT_STATX_DONT_SYNC, STATX_INO, &stx) != 0)
      return 0;
    return (stx.stx_mask & STATX_INO) ? stx.stx_ino : 0;
  }

  void Record(size_t index, Found kind, std::string_view path, bool exeStatable = false) {
    FoundPath& f = found[index];
    f.kind = kind;
    f.exeStatable = exeStatable;
    f.at = static_cast<uint32_t>(foundPaths.size());
    f.length = static_cast<uint32_t>(path.size());
    foundPaths.append(path);
  }

  // The path of pids[index] the cheap way: one readlink, and the fallback
  // only where that fails; a kernel thread known from an earlier walk costs
  // no more. False to skip the process.
  bool ReadPath(size_t index, std::string& path) {
    const int64_t pid = pids[index];
    const ssize_t n = ReadExeLink(pid);
    if (n >= 0) {
      path.assign(link.data(), static_cast<size_t>(n));
      SetKernelThread(pid, false);
      Record(index, Found::kLink, path);
      return true;
    }
    const int error = errno;
    if ((error == ENOENT && IsKnownKernelThread(pid)) || !FallbackPath(pid, nullptr, path)) {
      Record(index, Found::kSkipped, {});
      return false;
    }
    Record(index, Found::kFallback, path, ExeStatable(error));
    return true;
  }

  // Open descriptors of a process: the size of its fd directory, where the
  // kernel gives it (Linux 6.2 on, on /proc itself) to whoever may list the
  // directory; otherwise the entries counted. 0 when they cannot be known.
  int64_t CountDescriptors(int64_t pid) {
    const PidPath fd(pid, "fd");
    if (procfs) {
      struct stat st {};
      if (::fstatat(root.get(), fd.c_str(), &st, 0) != 0) return 0;
      if (!mayListAnyFds && st.st_uid != ::geteuid()) return 0;  // listing it is refused
      if (st.st_size > 0) return st.st_size;
    }
    const int64_t count = CountDirEntriesAt(root.get(), fd.c_str(), dirents);
    return count < 0 ? 0 : count;
  }

  // The inode of the executable of a process whose exe link read `path`.
  uint64_t ExeInode(int64_t pid, const PidStat& stat, std::string_view path) {
    const auto& entries = known.entries;
    while (knownCursor < entries.size() && entries[knownCursor].pid < pid) ++knownCursor;
    uint64_t inode = 0;
    bool cached = false;
    if (knownCursor < entries.size()) {
      const KnownExe& k = entries[knownCursor];
      cached = k.pid == pid && k.startTime == stat.starttime && k.startBrk == stat.start_brk &&
               k.argStart == stat.arg_start && k.envEnd == stat.env_end &&
               std::string_view(known.paths).substr(k.at, k.length) == path;
      if (cached) inode = k.inode;
    }
    if (!cached) {
      inode = StatExeInode(pid);
      if (inode == 0) return 0;
    }
    nextKnown.entries.push_back({pid, stat.starttime, stat.start_brk, stat.arg_start, stat.env_end,
                                 inode, static_cast<uint32_t>(nextKnown.paths.size()),
                                 static_cast<uint32_t>(path.size())});
    nextKnown.paths.append(path);
    return inode;
  }

  void BeginFullWalk() {
    nextKnown.Clear();
    knownCursor = 0;
  }
  void EndFullWalk() { std::swap(known, nextKnown); }

  // Every field of pids[index]. False to skip it.
  bool ReadEntry(size_t index, ProcessEntry& entry) {
    const int64_t pid = pids[index];
    const FoundPath f = found[index];
    if (f.kind == Found::kSkipped) return false;  // as the path walk found it moments ago

    ReadStatus status;
    const auto stat = ReadStat(pid, status);
    if (status == ReadStatus::kGone) return false;
    if (stat && !stat->IsKernelThread()) SetKernelThread(pid, false);  // the PID was taken over
    // A path the path walk read belongs to this process unless the PID was
    // taken over since the listing: then the process started after it.
    const bool reuse = f.kind != Found::kUnread && stat && stat->starttime < listedAt;
    bool fromLink = false;
    bool exeStatable = false;
    if (reuse) {
      entry.szExeFile.assign(std::string_view(foundPaths).substr(f.at, f.length));
      fromLink = f.kind == Found::kLink;
      exeStatable = f.exeStatable;
    } else {
      const ssize_t n = ReadExeLink(pid);
      const int error = errno;
      if (n >= 0) {
        entry.szExeFile.assign(link.data(), static_cast<size_t>(n));
        fromLink = true;
      } else {
        if (!FallbackPath(pid, &stat, entry.szExeFile)) return false;
        exeStatable = ExeStatable(error);
      }
    }

    const PidStat fields = stat.value_or(PidStat{});
    entry.cntUsage = CountDescriptors(pid);
    entry.th32ProcessID = pid;
    entry.pcPriClassBase = fields.priority;
    entry.cntThreads = fields.num_threads;
    entry.th32DefaultHeapID = fields.start_brk;
    entry.th32ParentProcessID = fields.ppid;
    entry.startTime = fields.starttime;
    entry.th32ModuleID = 0;
    if (fromLink && stat) {
      entry.th32ModuleID = ExeInode(pid, *stat, entry.szExeFile);
    } else if (fromLink || exeStatable) {
      entry.th32ModuleID = StatExeInode(pid);
    }
    return true;
  }
};

namespace {

class LinuxProcessSnapshot : public platform::ProcessSnapshot {
 public:
  explicit LinuxProcessSnapshot(std::shared_ptr<ProcWalkState> state) : state_(std::move(state)) {}

  bool Process32First(ProcessEntry& entry) override {
    next_ = 0;
    state_->BeginFullWalk();
    full_ = true;
    return Process32Next(entry);
  }

  bool Process32Next(ProcessEntry& entry) override {
    while (next_ < state_->pids.size()) {
      if (state_->ReadEntry(next_++, entry)) return true;
    }
    if (full_) state_->EndFullWalk();
    full_ = false;
    return false;
  }

  bool PathFirst(std::string& path) override {
    next_ = 0;
    full_ = false;
    return PathNext(path);
  }

  bool PathNext(std::string& path) override {
    while (next_ < state_->pids.size()) {
      if (state_->ReadPath(next_++, path)) return true;
    }
    return false;
  }

 private:
  std::shared_ptr<ProcWalkState> state_;
  size_t next_ = 0;
  bool full_ = false;  // a full walk under way, not yet at its end
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
