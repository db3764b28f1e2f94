// SPDX-License-Identifier: MIT
#include "platform/linux/walk/process_records.h"

#include <algorithm>
#include <utility>

#include "base/room.h"

namespace pelmora::platform::linux_os {

ProcessRecords::ProcessRecords(ProcFs* door) : door_(door) {
  if (door_) door_->SetHolder(this);
}

ProcessRecords::~ProcessRecords() {
  if (door_) door_->SetHolder(nullptr);
}

void ProcessRecords::Relist(const std::vector<int64_t>& pids) {
  const bool same = pids.size() == records_.size() &&
                    std::equal(pids.begin(), pids.end(), records_.begin(),
                               [](int64_t pid, const ProcessRecord& r) { return pid == r.pid; });
  if (!same) {
    // The records no longer listed go, closing what they hold (a record
    // moved over one closes its file)...
    size_t kept = 0;
    for (size_t i = 0; i < records_.size(); ++i) {
      if (!std::binary_search(pids.begin(), pids.end(), records_[i].pid)) {
        if (records_[i].hold != Hold::kNone) --held_;
        continue;
      }
      if (kept != i) records_[kept] = std::move(records_[i]);
      ++kept;
    }
    records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(kept), records_.end());
    // ...and the new PIDs come in, merged from the back so that each
    // record moves once.
    records_.resize(pids.size());
    for (size_t j = pids.size(); j-- > 0;) {
      if (kept > 0 && records_[kept - 1].pid == pids[j]) {
        --kept;
        if (kept != j) records_[j] = std::move(records_[kept]);
      } else {
        records_[j] = ProcessRecord();
        records_[j].pid = pids[j];
      }
    }
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
    if (!door_ || !door_->MayHold(fd.get(), held_)) return false;
    ++held_;
  } else if (!door_ || !door_->MayHold(fd.get(), 0)) {
    Release(record);
    return false;
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

size_t ProcessRecords::GiveBack(int from, size_t count) {
  const auto mayGo = [this](const ProcessRecord& r) { return r.hold != Hold::kNone && &r != busy_; };
  // Every file at or above `from`, in one pass.
  for (ProcessRecord& r : records_) {
    if (mayGo(r) && r.held.get() >= from) Release(r);
  }
  // Then `count` more: the stats of processes named by their link first,
  // then the other stats, then the pidfds.
  const auto linkNamed = [](const ProcessRecord& r) {
    return r.hold == Hold::kStat && !r.kernelThread && r.source == NameSource::kLink;
  };
  const auto stat = [](const ProcessRecord& r) { return r.hold == Hold::kStat; };
  const auto any = [](const ProcessRecord&) { return true; };
  for (const auto& which : {+linkNamed, +stat, +any}) {
    for (size_t i = records_.size(); i-- > 0 && count > 0;) {
      if (mayGo(records_[i]) && which(records_[i])) {
        Release(records_[i]);
        --count;
      }
    }
  }
  return held_;
}

}  // namespace pelmora::platform::linux_os
