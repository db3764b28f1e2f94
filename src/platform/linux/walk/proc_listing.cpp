// SPDX-License-Identifier: MIT
#include "platform/linux/walk/proc_listing.h"

#include <fcntl.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "platform/linux/parsers/proc_pid_parsers.h"

namespace pelmora::platform::linux_os {
namespace {

constexpr long kProcSuperMagic = 0x9fa0;

}  // namespace

uint64_t TicksSinceBoot() {
  timespec now{};
  ::clock_gettime(CLOCK_BOOTTIME, &now);
  const auto hz = static_cast<uint64_t>(::sysconf(_SC_CLK_TCK));
  return static_cast<uint64_t>(now.tv_sec) * hz +
         static_cast<uint64_t>(now.tv_nsec) * hz / 1000000000u;
}

void ProcRoot::List(Listing& listing) {
  listing.number = ++listings_;
  listing.pids.clear();
  listing.pids.reserve(listed_ + listed_ / 8 + 16);  // one allocation, as a rule
  if (!root_.valid()) {
    root_.Reset(::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root_.valid()) return;
    struct statfs fs {};
    procfs_ = ::fstatfs(root_.get(), &fs) == 0 && fs.f_type == kProcSuperMagic;
  }
  if (::lseek(root_.get(), 0, SEEK_SET) != 0) return;
  listing.listedAt = TicksSinceBoot();
  ForEachDirEntry(root_.get(), dirents_, [&listing](std::string_view name) {
    if (const auto pid = ParsePidName(name)) listing.pids.push_back(*pid);
  });
  std::sort(listing.pids.begin(), listing.pids.end());
  listing.pids.erase(std::unique(listing.pids.begin(), listing.pids.end()), listing.pids.end());
  listed_ = listing.pids.size();
}

}  // namespace pelmora::platform::linux_os
