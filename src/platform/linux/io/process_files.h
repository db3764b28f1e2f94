// SPDX-License-Identifier: MIT
#pragma once
// The reads of one process's files under a /proc root, one reader per file,
// each named through the root's descriptor ("PID/stat"). A stat file opened
// for one process answers ESRCH once that process is reaped, so reading it
// after the reads made by path shows they reached that same process
// (walk/witness.h).
//
// None of these reads asks the executable's file system anything the
// kernel does not have at hand: the exe link's target is the kernel's own
// record of the path, and its inode is taken with AT_STATX_DONT_SYNC.
// Reading cmdline takes the process's memory-map lock for a moment. Why:
// docs/process-walk.md.
#include <sys/types.h>

#include <array>
#include <climits>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/linux/io/proc_file_io.h"
#include "platform/linux/parsers/proc_pid_parsers.h"

namespace pelmora::platform::linux_os {

// The longest path the kernel hands out, its NUL included: an exe link
// target or an argv[0] of this many bytes or more is no path.
inline constexpr size_t kPathMax = PATH_MAX;
// A stat line is under 1 KiB, its command name at most 64 bytes.
inline constexpr size_t kStatCap = 4096;

// Where a process's files are found: "PID/file" below the /proc root, or
// "self/file" for this program's own. The one builder of such names.
class ProcessFiles {
 public:
  static constexpr int64_t kSelf = 0;  // no process has PID 0 in /proc

  ProcessFiles(int root, int64_t pid) : root_(root), pid_(pid) {}

  int root() const { return root_; }
  // The name of one of its files relative to root(), with a number after
  // it when one is given ("fdinfo/" and 7: "self/fdinfo/7"), NUL-terminated,
  // valid until the next call.
  const char* Name(std::string_view file, int64_t number = -1);

 private:
  int root_;
  int64_t pid_;
  std::array<char, 48> name_{};
};

// The read buffers, shared by every process of a walk. None grows with what
// a process holds: a stat and a command line are read into fixed sizes.
struct ReadBuffers {
  std::array<char, kStatCap> stat{};
  std::array<char, kPathMax> cmdline{};
  std::array<char, kPathMax> link{};
  DirentBuffer dirents;
};

// Opens the process's stat, to be read with ReadStat; invalid with the
// status when that fails.
UniqueFd OpenStat(ProcessFiles& files, ReadStatus& status);
// The stat of the open stat file fd, read with one pread into buffers.stat
// (where the command name then points); nullopt with the status when it
// cannot be had. A stat that fills its cap without ending its line is
// unreadable: its last field could be cut short. On a real /proc (procfs)
// a file whose process was reaped answers kGone; in a tree of plain files,
// a file removed since it was opened stands for that.
std::optional<PidStat> ReadStat(int fd, bool procfs, ReadBuffers& buffers, ReadStatus& status);

// The exe link's target into buffers.link; its length, or -1 with errno set
// (ENAMETOOLONG for a target that fills the buffer).
ssize_t ReadExeLink(ProcessFiles& files, ReadBuffers& buffers);
// Whether the executable can still be stat'ed after its link failed with
// this error: only a link too long to read leaves it within reach.
bool ExeStatable(int linkError);
// The inode of the executable, from the kernel's cache: never a question
// to the file's server. 0 when it cannot be had.
uint64_t ExeInode(ProcessFiles& files);

// argv[0] of the command line when it is an absolute path shorter than
// kPathMax, read with one pread of kPathMax bytes into buffers.cmdline;
// empty otherwise (a relative argv[0], none, a cmdline that cannot be
// read). status says kGone when the process is.
std::string_view ReadArgv0Path(ProcessFiles& files, ReadBuffers& buffers, ReadStatus& status);

// Open descriptors: the size of the fd directory, where the kernel gives it
// (Linux 6.2 on, on /proc itself) to whoever may list the directory;
// otherwise the entries counted. 0 when they cannot be known. listerUid is
// the user whose fd directories may be listed (-1: anyone's, for root).
int64_t CountDescriptors(ProcessFiles& files, bool procfs, uid_t listerUid, DirentBuffer& dirents);

}  // namespace pelmora::platform::linux_os
