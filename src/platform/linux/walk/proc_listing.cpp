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

void ReleaseSlack(std::string& buffer) {
  constexpr size_t kSlack = 64 * 1024;
  if (buffer.capacity() > 2 * buffer.size() + kSlack) buffer.shrink_to_fit();
}

void ProcListing::List() {
  pids_.clear();
  // What the last check's paths took, and no more, is kept for the next.
  ReleaseSlack(paths_);
  paths_.clear();
  found_.clear();
  if (!root_.valid()) {
    root_.Reset(::open(root_path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root_.valid()) return;
    struct statfs fs {};
    procfs_ = ::fstatfs(root_.get(), &fs) == 0 && fs.f_type == kProcSuperMagic;
  }
  if (::lseek(root_.get(), 0, SEEK_SET) != 0) return;
  listedAt_ = TicksSinceBoot();
  ForEachDirEntry(root_.get(), dirents_, [this](std::string_view name) {
    if (const auto pid = ParsePidName(name)) pids_.push_back(*pid);
  });
  std::sort(pids_.begin(), pids_.end());
  pids_.erase(std::unique(pids_.begin(), pids_.end()), pids_.end());
  found_.assign(pids_.size(), FoundPath{});
}

void ProcListing::Record(size_t index, Found kind, std::string_view path, bool exeStatable,
                         const PidStat* stat) {
  FoundPath& f = found_[index];
  f.kind = kind;
  f.exeStatable = exeStatable;
  f.figures = stat ? StatFigures::Of(*stat) : StatFigures{};
  f.at = static_cast<uint32_t>(paths_.size());
  f.length = static_cast<uint32_t>(path.size());
  paths_.append(path);
}

}  // namespace pelmora::platform::linux_os
