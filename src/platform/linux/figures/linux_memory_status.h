// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <string>

#include "platform/linux/io/proc_fs.h"
#include "platform/linux/parsers/proc_meminfo_parser.h"
#include "platform/memory_status.h"

namespace pelmora::platform::linux_os {

// The machine's memory from /proc/meminfo, in bytes:
//   physical   total = MemTotal,             available = MemAvailable
//   page file  total = SwapTotal,            available = SwapFree
//   virtual    total = MemTotal + SwapTotal, available = MemAvailable + SwapFree
// Available never exceeds total; byte counts saturate at the largest 64-bit
// signed number. Without swap the page-file figures are 0. A file that
// cannot be read leaves all six figures 0.
class LinuxMemoryStatus : public platform::MemoryStatusSource {
 public:
  explicit LinuxMemoryStatus(ProcFs& door) : door_(door) {}
  void GlobalMemoryStatus(platform::MemoryStatus& status) override;

 private:
  ProcFs& door_;
  std::string text_;  // reused for every read
};

// The byte counts of a parsed /proc/meminfo; pure.
platform::MemoryStatus MemoryStatusFromMeminfo(const Meminfo& info);

}  // namespace pelmora::platform::linux_os
