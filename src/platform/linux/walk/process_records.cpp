// SPDX-License-Identifier: MIT
#include "platform/linux/walk/process_records.h"

#include <algorithm>
#include <utility>

#include "base/room.h"

namespace pelmora::platform::linux_os {

void ProcessRecords::Relist(const std::vector<int64_t>& pids) {
  const bool same = pids.size() == records_.size() &&
                    std::equal(pids.begin(), pids.end(), records_.begin(),
                               [](int64_t pid, const ProcessRecord& r) { return pid == r.pid; });
  if (!same) {
    spare_.clear();
    spare_.reserve(pids.size());
    size_t old = 0;
    for (const int64_t pid : pids) {
      while (old < records_.size() && records_[old].pid < pid) {
        if (records_[old].hold != Hold::kNone) --held_;
        ++old;
      }
      if (old < records_.size() && records_[old].pid == pid) {
        spare_.push_back(std::move(records_[old++]));
      } else {
        spare_.emplace_back().pid = pid;
      }
    }
    for (; old < records_.size(); ++old) {
      if (records_[old].hold != Hold::kNone) --held_;
    }
    std::swap(records_, spare_);
    spare_.clear();  // closes what the records no longer listed held
    base::GiveBackRoom(spare_, records_.size());
    base::GiveBackRoom(records_);
  }

  polled_.clear();
  for (const ProcessRecord& r : records_) {
    if (r.hold == Hold::kPidfd) polled_.push_back({r.held.get(), POLLIN, 0});
  }
  if (polled_.empty() || ::poll(polled_.data(), polled_.size(), 0) <= 0) return;
  size_t next = 0;  // the entry of polled_ for the next record with a pidfd
  for (ProcessRecord& r : records_) {
    if (r.hold != Hold::kPidfd) continue;
    if (polled_[next++].revents != 0) {
      Release(r);
      r.Forget();
    }
  }
}

bool ProcessRecords::Keep(ProcessRecord& record, Hold hold, UniqueFd fd) {
  if (record.hold == Hold::kNone) {
    if (held_ >= budget_) return false;
    ++held_;
  }
  record.hold = hold;
  record.held = std::move(fd);
  return true;
}

void ProcessRecords::Release(ProcessRecord& record) {
  if (record.hold != Hold::kNone) --held_;
  record.hold = Hold::kNone;
  record.held.Reset();
}

}  // namespace pelmora::platform::linux_os
