// SPDX-License-Identifier: MIT
#pragma once
// The listing of the /proc root: the PIDs of the numeric entries,
// ascending, and the moment they were listed.
//
// The rule: the listing also keeps what the tick's check found for each
// listed PID, its path or that it was skipped, and, for a name remembered,
// the figures of the held stat it read, until the next listing. A rebuild
// of the same snapshot takes that instead of reading the process again,
// unless the process started at or after the moment of the listing: then
// its PID was taken over since, and what the check found belongs to
// another process.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/io/proc_file_io.h"
#include "platform/linux/parsers/proc_pid_parsers.h"

namespace pelmora::platform::linux_os {

// What the check found for a listed PID.
enum class Found : uint8_t {
  kUnread,     // the check did not reach it
  kSkipped,    // a kernel thread, or gone
  kLink,       // the target of its exe link
  kFallback,   // argv[0] or the command name, read by this check
  kRemembered, // argv[0] or the command name, remembered from an earlier one
};

// The figures of a stat line that a row shows.
struct StatFigures {
  int64_t ppid = 0;
  int64_t priority = 0;
  int64_t threads = 0;
  uint64_t startBrk = 0;
  uint64_t startTime = 0;

  static StatFigures Of(const PidStat& stat) {
    return {stat.ppid, stat.priority, stat.num_threads, stat.start_brk, stat.starttime};
  }
};

struct FoundPath {
  Found kind = Found::kUnread;
  bool exeStatable = false;  // a fallback for a link too long to read: the file is there
  uint32_t at = 0;           // the path's bytes in the listing's path buffer
  uint32_t length = 0;
  StatFigures figures;  // kRemembered: the stat the check read from the held file
};

class ProcListing {
 public:
  explicit ProcListing(std::string root_path) : root_path_(std::move(root_path)) {}

  // Lists the root again (opened at the first call), forgetting what the
  // last check found. An unreadable root lists nothing.
  void List();

  int root() const { return root_.get(); }
  // Whether the root is a real /proc, whose files behave as the kernel's.
  bool procfs() const { return procfs_; }
  const std::vector<int64_t>& pids() const { return pids_; }
  // Whether a process that started at this time (clock ticks after boot)
  // was already running when the listing was taken.
  bool ListedBefore(uint64_t startTime) const { return startTime < listedAt_; }

  // What the check found; stat, for kRemembered, is what it read.
  void Record(size_t index, Found kind, std::string_view path, bool exeStatable = false,
              const PidStat* stat = nullptr);
  const FoundPath& FoundAt(size_t index) const { return found_[index]; }
  std::string_view PathOf(const FoundPath& found) const {
    return std::string_view(paths_).substr(found.at, found.length);
  }

 private:
  std::string root_path_;
  UniqueFd root_;
  bool procfs_ = false;
  std::vector<int64_t> pids_;
  uint64_t listedAt_ = 0;
  std::vector<FoundPath> found_;
  std::string paths_;
  DirentBuffer dirents_;
};

// Clock ticks since boot, the unit of a process's start time.
uint64_t TicksSinceBoot();

// Gives back what a buffer holds beyond what it now uses, when that is much:
// a buffer that grew for a crowd of long paths does not keep its peak.
void ReleaseSlack(std::string& buffer);

}  // namespace pelmora::platform::linux_os
