// SPDX-License-Identifier: MIT
#include "platform/linux/walk/witness.h"

namespace pelmora::platform::linux_os {

Witness::Witness(const ProcessRecord& record, ProcFs& door, ReadStatus& status) : door_(door) {
  status = ReadStatus::kOk;
  if (record.hold == Hold::kStat) {
    fd_ = record.held.get();
    return;
  }
  opened_ = door_.OpenStat(record.pid, status);
  fd_ = opened_.get();
}

}  // namespace pelmora::platform::linux_os
