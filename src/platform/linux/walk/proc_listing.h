// SPDX-License-Identifier: MIT
#pragma once
// The listing of a /proc root: the PIDs of its numeric entries, ascending,
// and the moment they were listed.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/io/proc_file_io.h"

namespace pelmora::platform::linux_os {

struct Listing {
  uint32_t number = 0;    // counts the listings of one root, from 1
  uint64_t listedAt = 0;  // clock ticks after boot
  std::vector<int64_t> pids;

  // Whether a process that started at this time (clock ticks after boot)
  // was already running when the PIDs were listed, and so held its PID at
  // every read since.
  bool RunningBefore(uint64_t startTime) const { return startTime < listedAt; }
};

class ProcRoot {
 public:
  explicit ProcRoot(std::string path) : path_(std::move(path)) {}

  // Lists the root (opened at the first call) into listing, with the next number.
  // An unreadable root lists nothing.
  void List(Listing& listing);

  int fd() const { return root_.get(); }
  // Whether the root is a real /proc, whose files behave as the kernel's.
  bool procfs() const { return procfs_; }
  uint32_t listings() const { return listings_; }

 private:
  std::string path_;
  UniqueFd root_;
  bool procfs_ = false;
  uint32_t listings_ = 0;
  size_t listed_ = 0;  // PIDs in the last listing
  DirentBuffer dirents_;
};

// Clock ticks since boot, the unit of a process's start time.
uint64_t TicksSinceBoot();

}  // namespace pelmora::platform::linux_os
