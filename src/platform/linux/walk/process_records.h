// SPDX-License-Identifier: MIT
#pragma once
// One record per listed process, in the listing's order (ascending PID),
// and the files they hold, within a budget: a process beyond it is read as
// if first seen at every check.
#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/linux/walk/process_record.h"

namespace pelmora::platform::linux_os {

class ProcessRecords {
 public:
  // heldBudget: how many files the records may hold at once.
  explicit ProcessRecords(size_t heldBudget) : budget_(heldBudget) {}

  // Makes the records those of pids (ascending): the records of PIDs no
  // longer listed go, closing what they hold, and each new PID gets an
  // empty record. Then the kernel threads whose pidfds say they ended let
  // them go (one poll): a kernel thread alive after the listing is the one
  // listed.
  void Relist(const std::vector<int64_t>& pids);

  size_t size() const { return records_.size(); }
  ProcessRecord& operator[](size_t index) { return records_[index]; }

  // The record holds fd as `hold`, in place of what it held; false, and fd
  // closed, when the budget is spent.
  bool Keep(ProcessRecord& record, Hold hold, UniqueFd fd);
  // The record holds nothing any more.
  void Release(ProcessRecord& record);

  size_t held() const { return held_; }

 private:
  std::vector<ProcessRecord> records_;
  std::vector<pollfd> polled_;
  size_t held_ = 0;
  size_t budget_;
};

}  // namespace pelmora::platform::linux_os
