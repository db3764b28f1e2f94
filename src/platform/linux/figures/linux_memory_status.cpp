// SPDX-License-Identifier: MIT
#include "platform/linux/figures/linux_memory_status.h"

#include <algorithm>
#include <limits>

#include "platform/linux/parsers/saturating.h"

namespace pelmora::platform::linux_os {

namespace {

constexpr int64_t kMaxBytes = std::numeric_limits<int64_t>::max();

int64_t KbToBytes(uint64_t kb) {
  constexpr uint64_t kLimitKb = static_cast<uint64_t>(kMaxBytes) / 1024;
  return kb > kLimitKb ? kMaxBytes : static_cast<int64_t>(kb * 1024);
}

}  // namespace

platform::MemoryStatus MemoryStatusFromMeminfo(const Meminfo& info) {
  const uint64_t swapTotal = info.swapTotal.value_or(0);
  const uint64_t swapFree = std::min(info.swapFree.value_or(0), swapTotal);
  platform::MemoryStatus status;
  status.dwTotalPhys = KbToBytes(info.memTotal.value_or(0));
  status.dwAvailPhys = KbToBytes(AvailableKb(info));
  status.dwTotalPageFile = KbToBytes(swapTotal);
  status.dwAvailPageFile = KbToBytes(swapFree);
  status.dwTotalVirtual = SaturatingAdd(status.dwTotalPhys, status.dwTotalPageFile);
  status.dwAvailVirtual = SaturatingAdd(status.dwAvailPhys, status.dwAvailPageFile);
  return status;
}

void LinuxMemoryStatus::GlobalMemoryStatus(platform::MemoryStatus& status) {
  if (door_.ReadSystemText(SystemText::kMeminfo, text_) != ReadStatus::kOk) {
    status = platform::MemoryStatus{};
    return;
  }
  status = MemoryStatusFromMeminfo(ParseMeminfo(text_));
}

}  // namespace pelmora::platform::linux_os
