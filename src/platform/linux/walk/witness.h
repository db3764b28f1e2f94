// SPDX-License-Identifier: MIT
#pragma once
// The witness of the reads of one process made by path: its stat file,
// held from an earlier walk or opened before those reads, and read after
// them. A stat file belongs to the process it was opened for and answers
// "gone" once that process is reaped, so while it answers, the PID was that
// process's at every read before, and no other process's figures reach its
// row. docs/process-walk.md tells why the walk reads this way.
#include <optional>

#include "platform/linux/io/proc_fs.h"
#include "platform/linux/walk/process_record.h"

namespace pelmora::platform::linux_os {

class Witness {
 public:
  // The record's held stat, or one opened now. Invalid when neither can be
  // had; status then tells whether the process is gone (kGone) or its
  // stat cannot be opened (kNoRoom: no descriptor free, ...).
  Witness(const ProcessRecord& record, ProcFs& door, ReadStatus& status);

  bool valid() const { return fd_ >= 0; }
  // The process as it is now; nullopt with the status when it cannot be
  // read, kGone once the process the file belongs to is.
  std::optional<PidStat> Read(ReadStatus& status) const { return door_.ReadStat(fd_, status); }
  // The file opened for this walk (invalid when it was held before), for
  // the record to hold from now on.
  UniqueFd TakeOpened() { return std::move(opened_); }

 private:
  ProcFs& door_;
  int fd_ = -1;
  UniqueFd opened_;
};

}  // namespace pelmora::platform::linux_os
