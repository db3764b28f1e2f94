// SPDX-License-Identifier: MIT
#pragma once
// The one door to /proc. Made once where the Linux services are built, it
// owns everything a read of /proc takes: the root's descriptor, whether
// that root is a real procfs, who reads, the read buffers and their caps,
// the listing's clock, and the budget of files held open from one walk to
// the next with the reserve of descriptors kept free beside them. Every
// read of /proc goes through one of its typed reads, named against the
// root's descriptor ("PID/stat", "self/fdinfo/7", "loadavg").
//
// Descriptors: the held files never take the last ones the program may
// open. A reserve, the larger of 64 and an eighth of RLIMIT_NOFILE, stays
// free for the window system, the toolkit and the accessibility bus,
// however the limit is set or changed while the program runs (the limit is
// read again at every listing). A descriptor numbered at or above the limit
// less the reserve is never held: the kernel hands out the lowest free
// number, so every number below it is taken. An open that fails for want
// of a descriptor (EMFILE, ENFILE) has the holder give back files, as many
// as the reserve, and is tried once more; no file is held anew until the
// limit rises or thirty seconds have passed.
//
// None of the process reads asks the executable's file system anything the
// kernel does not have at hand: the exe link's target is the kernel's own
// record of the path, and its inode is taken with AT_STATX_DONT_SYNC.
// Reading cmdline takes the process's memory-map lock for a moment. Why:
// docs/process-walk.md.
#include <sys/types.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/io/proc_file_io.h"
#include "platform/linux/parsers/proc_pid_parsers.h"

namespace pelmora::platform::linux_os {

// The running system's /proc, and the path under which this program names
// its own descriptors (as a unix socket address must: absolute).
inline constexpr std::string_view kProcRoot = "/proc";
inline constexpr std::string_view kSelfFdPath = "/proc/self/fd/";

// The longest path the kernel hands out, its NUL included: an exe link
// target or an argv[0] of this many bytes or more is no path.
inline constexpr size_t kPathMax = PATH_MAX;
// A stat line is under 1 KiB, its command name at most 64 bytes.
inline constexpr size_t kStatCap = 4096;
// The whole-system texts and the cgroup files are a few short lines;
// /proc/stat grows with the CPUs, and the lines that matter come first.
inline constexpr size_t kSmallTextCap = 64 * 1024;
inline constexpr size_t kProcStatCap = 1 << 20;
// The most files held open at once, and the limit the program asks for so
// that they fit beside the reserve.
inline constexpr size_t kMaxHeldFiles = 4096;
inline constexpr uint64_t kWantedFileLimit = 5120;
// The descriptors kept free for everything else under a limit.
inline constexpr uint64_t kMinReserveFds = 64;
inline uint64_t ReserveFor(uint64_t limit) { return std::max(kMinReserveFds, limit / 8); }

// The listing of the root: the PIDs of its numeric entries, ascending, and
// the moment they were listed.
struct Listing {
  uint32_t number = 0;    // counts the listings of one root, from 1
  uint64_t listedAt = 0;  // clock ticks after boot
  std::vector<int64_t> pids;

  // Whether a process that started at this time (clock ticks after boot)
  // was already running when the PIDs were listed, and so held its PID at
  // every read since.
  bool RunningBefore(uint64_t startTime) const { return startTime < listedAt; }
};

// The whole-system texts read at every tick, each kept open between reads.
enum class SystemText { kStat, kMeminfo, kLoadavg, kPidMax, kThreadsMax, kFileNr };
inline constexpr size_t kSystemTexts = 6;

// Whoever holds files open through the door, asked to give some back when
// descriptors run short.
class FileHolder {
 public:
  // Closes every held file numbered `from` or above, and at least `count`
  // more where there are; returns how many it still holds.
  virtual size_t GiveBack(int from, size_t count) = 0;

 protected:
  ~FileHolder() = default;
};

// Clock ticks since boot, the unit of a process's start time.
uint64_t TicksSinceBoot();
// The soft RLIMIT_NOFILE; nullopt when unlimited.
std::optional<uint64_t> SoftFileLimit();

// What a door may be told besides its root; tests set them.
struct ProcFsOptions {
  size_t maxHeld = kMaxHeldFiles;
  // Clock ticks since boot, read as the root is listed.
  std::function<uint64_t()> listingClock = TicksSinceBoot;
  std::function<std::optional<uint64_t>()> fileLimit = SoftFileLimit;
  // openat(2); tests make it fail.
  std::function<int(int dir, const char* name, int flags)> openAt = {};
  // The reading user; by default the program's effective user.
  std::optional<uid_t> reader = {};
};

class ProcFs {
 public:
  using Options = ProcFsOptions;

  // rootPath holds the PID directories: /proc, or a tree of the tests'
  // own, which reads as plain files.
  explicit ProcFs(std::string rootPath, Options options = {});
  // /proc for this program, with RLIMIT_NOFILE raised first (within the
  // hard limit) to kWantedFileLimit.
  static std::unique_ptr<ProcFs> ForThisProgram();
  ProcFs(const ProcFs&) = delete;
  ProcFs& operator=(const ProcFs&) = delete;

  // Whether the root is a real /proc, whose files behave as the kernel's.
  bool procfs() const { return procfs_; }
  // Whether the reader may list any process's fd directory (root).
  bool readsAll() const { return reader_ == 0; }

  // Lists the root (opened again if it could not be before) into listing,
  // with the next number; an unreadable root lists nothing. Reads the file
  // limit first: a holder keeps nothing at or above a lowered ceiling.
  void List(Listing& listing);
  uint32_t listings() const { return listings_; }

  // --- One process's files.
  // Its stat opened, to be read with ReadStat; invalid with the status.
  UniqueFd OpenStat(int64_t pid, ReadStatus& status);
  // The stat of the open stat file, with one pread; nullopt with the
  // status when it cannot be had. A stat that fills its cap without ending
  // its line is unreadable. On a real /proc a file whose process was reaped
  // answers kGone; in a tree of plain files, a file removed since it was
  // opened stands for that. The command name points into the door's buffer,
  // valid until the next read.
  std::optional<PidStat> ReadStat(int fd, ReadStatus& status);
  // The exe link's target, valid until the next read; nullopt with errno
  // set (ENAMETOOLONG for a target that fills kPathMax).
  std::optional<std::string_view> ReadExeLink(int64_t pid);
  // Whether the executable can still be stat'ed after its link failed with
  // this error: only a link too long to read leaves it within reach.
  static bool ExeStatable(int linkError) {
    return linkError != ENOENT && linkError != EACCES && linkError != ESRCH;
  }
  // The inode of the executable, from the kernel's cache; 0 unknown.
  uint64_t ExeInode(int64_t pid);
  // argv[0] when it is an absolute path shorter than kPathMax, with one
  // pread of kPathMax bytes; empty otherwise. status says kGone when the
  // process is, kNoRoom when no descriptor was free.
  std::string_view ReadArgv0Path(int64_t pid, ReadStatus& status);
  // Its open descriptors: the size of its fd directory, where the kernel
  // gives it (Linux 6.2 on) to whoever may list the directory; otherwise
  // the entries counted. 0 when they may not be known; nullopt when no
  // descriptor was free to count with.
  std::optional<int64_t> CountDescriptors(int64_t pid);
  // The PID of the process a pidfd of this program holds, as this /proc
  // numbers it (its self/fdinfo); nullopt where it does not show it.
  // pidfd_open() counts in this program's PID namespace, a /proc in that
  // of its mount: they differ where /proc was mounted for another one.
  std::optional<int64_t> PidfdPid(int pidfd);

  // --- The whole system's texts.
  ReadStatus ReadSystemText(SystemText which, std::string& text);
  // This program's cgroup lines (self/cgroup), read once.
  ReadStatus ReadSelfCgroup(std::string& text);

  // --- Held files.
  void SetHolder(FileHolder* holder) { holder_ = holder; }
  // Whether a holder already holding `held` files may hold fd as well.
  bool MayHold(int fd, size_t held) const;
  // The descriptor numbers held files stay below.
  int ceiling() const { return ceiling_; }

 private:
  // The name below the root of a process's file (pid 0: this program's,
  // "self/..."), with a number after it where one is given, NUL-terminated,
  // valid until the next call.
  const char* Name(int64_t pid, std::string_view file, int64_t number = -1);
  // openat below the root; on EMFILE or ENFILE the holder gives back files
  // and the open is tried once more.
  UniqueFd Open(const char* name, int flags, ReadStatus& status);
  void OpenRoot();
  void TakeLimit();

  std::string rootPath_;
  Options options_;
  UniqueFd root_;
  bool procfs_ = false;
  uid_t reader_;
  uint32_t listings_ = 0;
  size_t listed_ = 0;  // PIDs in the last listing

  FileHolder* holder_ = nullptr;
  std::optional<uint64_t> limit_;  // the file limit at the last listing; nullopt unlimited
  int ceiling_ = INT_MAX;
  std::optional<size_t> frozenAt_;  // held files while none is held anew
  uint64_t frozenUntil_ = 0;        // listing clock
  uint64_t ticksPerSecond_;

  std::array<char, 48> name_{};
  std::array<char, kStatCap> stat_{};
  std::array<char, kPathMax> cmdline_{};
  std::array<char, kPathMax> link_{};
  DirentBuffer dirents_;
  std::string fdinfo_;
  std::array<UniqueFd, kSystemTexts> kept_;
};

}  // namespace pelmora::platform::linux_os
