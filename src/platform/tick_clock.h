// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>

namespace pelmora::platform {

// Milliseconds since an arbitrary fixed point (system start); never wraps.
class TickClock {
 public:
  virtual ~TickClock() = default;
  virtual int64_t GetTickCount() = 0;
};

}  // namespace pelmora::platform
