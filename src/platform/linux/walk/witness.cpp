// SPDX-License-Identifier: MIT
#include "platform/linux/walk/witness.h"

namespace pelmora::platform::linux_os {

Witness::Witness(const ProcessRecord& record, ProcessFiles& files, ReadStatus& status) {
  status = ReadStatus::kOk;
  if (record.hold == Hold::kStat) {
    fd_ = record.held.get();
    return;
  }
  opened_ = OpenStat(files, status);
  fd_ = opened_.get();
}

std::optional<PidStat> Witness::Read(bool procfs, ReadBuffers& buffers, ReadStatus& status) const {
  return ReadStat(fd_, procfs, buffers, status);
}

}  // namespace pelmora::platform::linux_os
