// SPDX-License-Identifier: MIT
#pragma once
// The inodes of the executables, from one rebuild to the next.
//
// The rule: the inode of a process's executable cannot change while the
// process runs one program, and it runs the same program while its PID,
// start time, exe path and the places of its heap, arguments and
// environment stay the same (a new program gets them anew, at random
// places unless address randomisation is off for it). Those six make the
// key. A rebuild looks its processes up in ascending PID order and records
// each inode it used; at the rebuild's end what it recorded replaces the
// cache, so a process that ended is forgotten one rebuild later.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/parsers/proc_pid_parsers.h"

namespace pelmora::platform::linux_os {

class ExeInodeCache {
 public:
  void BeginRebuild();
  // The inode kept for this process running this program, or 0.
  uint64_t Find(const PidStat& stat, std::string_view path);
  // Records the inode the rebuild used for the process.
  void Record(const PidStat& stat, std::string_view path, uint64_t inode);
  void EndRebuild();

 private:
  struct Entry {
    int64_t pid = 0;
    uint64_t startTime = 0;
    uint64_t startBrk = 0;
    uint64_t argStart = 0;
    uint64_t envEnd = 0;
    uint64_t inode = 0;
    uint32_t at = 0;  // the path's bytes in the set's path buffer
    uint32_t length = 0;
  };
  struct Set {
    std::vector<Entry> entries;  // ascending PID
    std::string paths;
  };

  Set current_;
  Set next_;
  size_t cursor_ = 0;
};

}  // namespace pelmora::platform::linux_os
