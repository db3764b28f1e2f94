// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>

namespace pelmora::platform {

// Byte counts of the machine's memory. 64-bit: machines have more than 2 GB.
struct MemoryStatus {
  int64_t dwTotalPhys = 0;
  int64_t dwAvailPhys = 0;
  int64_t dwTotalPageFile = 0;
  int64_t dwAvailPageFile = 0;
  int64_t dwTotalVirtual = 0;
  int64_t dwAvailVirtual = 0;
};

class MemoryStatusSource {
 public:
  virtual ~MemoryStatusSource() = default;
  // Fills the record; a source that cannot be read leaves zeros.
  virtual void GlobalMemoryStatus(MemoryStatus& status) = 0;
};

}  // namespace pelmora::platform
