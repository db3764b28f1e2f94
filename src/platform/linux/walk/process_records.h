// SPDX-License-Identifier: MIT
#pragma once
// One record per listed process, in the listing's order (ascending PID),
// and the files they hold, within the budget of their /proc's door: a
// process beyond it is read as if first seen at every check. When the door
// runs short of descriptors the records give files back: first the stats
// held for processes named by their link (a rebuild opens them again), then
// the others, the kernel threads' pidfds last.
#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/linux/io/proc_fs.h"
#include "platform/linux/walk/process_record.h"

namespace pelmora::platform::linux_os {

class ProcessRecords : public FileHolder {
 public:
  // door: whose budget the held files keep to, and who asks for them when
  // short; none for records that hold nothing.
  explicit ProcessRecords(ProcFs* door);
  ~ProcessRecords();
  ProcessRecords(const ProcessRecords&) = delete;
  ProcessRecords& operator=(const ProcessRecords&) = delete;

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
  // The record being read, whose file is in use: never given back.
  void SetBusy(const ProcessRecord* record) { busy_ = record; }

  size_t GiveBack(int from, size_t count) override;
  size_t held() const { return held_; }

 private:
  std::vector<ProcessRecord> records_;
  std::vector<pollfd> polled_;
  size_t held_ = 0;
  ProcFs* door_;
  const ProcessRecord* busy_ = nullptr;
};

}  // namespace pelmora::platform::linux_os
