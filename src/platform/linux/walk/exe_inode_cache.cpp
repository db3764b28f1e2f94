// SPDX-License-Identifier: MIT
#include "platform/linux/walk/exe_inode_cache.h"

#include <utility>


namespace pelmora::platform::linux_os {
namespace {

constexpr size_t kSlack = 64 * 1024;

}  // namespace

void ExeInodeCache::BeginRebuild() {
  next_.entries.clear();
  next_.paths.clear();
  cursor_ = 0;
}

uint64_t ExeInodeCache::Find(const PidStat& stat, std::string_view path) {
  const auto& entries = current_.entries;
  while (cursor_ < entries.size() && entries[cursor_].pid < stat.pid) ++cursor_;
  if (cursor_ == entries.size()) return 0;
  const Entry& e = entries[cursor_];
  const bool same = e.pid == stat.pid && e.startTime == stat.starttime &&
                    e.startBrk == stat.start_brk && e.argStart == stat.arg_start &&
                    e.envEnd == stat.env_end &&
                    std::string_view(current_.paths).substr(e.at, e.length) == path;
  return same ? e.inode : 0;
}

void ExeInodeCache::Record(const PidStat& stat, std::string_view path, uint64_t inode) {
  next_.entries.push_back({stat.pid, stat.starttime, stat.start_brk, stat.arg_start, stat.env_end,
                           inode, static_cast<uint32_t>(next_.paths.size()),
                           static_cast<uint32_t>(path.size())});
  next_.paths.append(path);
}

void ExeInodeCache::EndRebuild() {
  std::swap(current_, next_);
  // The set handed back for the next rebuild keeps no more room than twice
  // what this one took: paths that were long once are not kept room for.
  if (next_.paths.capacity() > 2 * current_.paths.size() + kSlack) {
    std::string().swap(next_.paths);
    next_.paths.reserve(current_.paths.size());
  }
  if (next_.entries.capacity() > 2 * current_.entries.size() + 1024) {
    std::vector<Entry>().swap(next_.entries);
  }
}

}  // namespace pelmora::platform::linux_os
