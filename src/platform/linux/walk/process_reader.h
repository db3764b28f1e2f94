// SPDX-License-Identifier: MIT
#pragma once
// The reads of one process's files under /proc, named through the /proc
// root ("PID/stat"). A file opened for one process (its stat, held or just
// opened) answers ESRCH once that process is reaped: read after the reads
// by path, it vouches that they reached the same process (see proc_walk.h).
//
// None of these reads asks the executable's file system anything the
// kernel does not have at hand: the exe link's target is the kernel's own
// record of the path, and its inode is taken with AT_STATX_DONT_SYNC, from
// the kernel's cache where the file system keeps one (NFS and FUSE do).
// Reading cmdline takes the process's memory-map lock, and so can wait
// while that process is stuck in a fault on a dead mount; it is read only
// where the exe link cannot be.
#include <array>
#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>

#include "platform/linux/io/proc_file_io.h"
#include "platform/linux/parsers/proc_pid_parsers.h"

namespace pelmora::platform::linux_os {

// The longest path the kernel hands out, its NUL included: an exe link
// target or an argv[0] of this many bytes or more is no path.
inline constexpr size_t kPathMax = PATH_MAX;
// A stat line is under 1 KiB, its command name at most 64 bytes.
inline constexpr size_t kStatCap = 4096;

// Where a process's files are found: "PID/name" under the /proc root.
class ProcessFiles {
 public:
  ProcessFiles(int root, int64_t pid) : at_(root), pid_(pid) {}

  int at() const { return at_; }
  // The name of one of its files relative to at(), NUL-terminated, valid
  // until the next call.
  const char* Name(std::string_view file);

 private:
  int at_;
  int64_t pid_;
  std::array<char, 32> name_{};
};

// The read buffers, shared by every process of a walk. None grows with what
// a process holds: a stat and a command line are read into fixed sizes.
struct ReadBuffers {
  std::array<char, kStatCap> stat{};
  std::array<char, kPathMax> cmdline{};
  std::array<char, kPathMax> link{};
  DirentBuffer dirents;
};

// Opens the process's stat, to be read with ReadStatFd; invalid with the
// status when that fails.
UniqueFd OpenStat(ProcessFiles& files, ReadStatus& status);
// The stat of the open file fd, read with one pread into buffers.stat
// (where the command name then points). A stat that fills its cap without
// ending its line is unreadable: its last field could be cut short.
std::optional<PidStat> ReadStatFd(int fd, ReadBuffers& buffers, ReadStatus& status);

// The exe link's target into buffers.link; its length, or -1 with errno set
// (ENAMETOOLONG for a target that fills the buffer).
ssize_t ReadExeLink(ProcessFiles& files, ReadBuffers& buffers);

// The name of a process whose exe link cannot be read (another user's, a
// zombie): argv[0] when it is an absolute path shorter than kPathMax, read
// with one pread of kPathMax bytes; else the command name of its stat
// (null where the stat could not be read). False when the process is gone
// or no name is to be had.
bool FallbackName(ProcessFiles& files, const PidStat* stat, ReadBuffers& buffers,
                  std::string& name);

// Whether the executable can still be stat'ed after its link failed with
// this error: only a link too long to read leaves it within reach.
bool ExeStatable(int linkError);

// The inode of the executable, from the kernel's cache (AT_STATX_DONT_SYNC):
// never a question to the file's server. 0 when it cannot be had.
uint64_t ExeInode(ProcessFiles& files);

// Open descriptors: the size of the fd directory, where the kernel gives it
// (Linux 6.2 on, on /proc itself) to whoever may list the directory;
// otherwise the entries counted. 0 when they cannot be known.
// listerUid is the user whose fd directories may be listed (-1: anyone's,
// for root).
int64_t CountDescriptors(ProcessFiles& files, bool procfs, uid_t listerUid, DirentBuffer& dirents);

}  // namespace pelmora::platform::linux_os
