// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>

#include "platform/tick_clock.h"

namespace pelmora::platform::linux_os {

// Milliseconds of CLOCK_MONOTONIC: counted from boot, never set back, and
// standing still while the machine sleeps (as the kernel's CPU times do).
class LinuxTickClock : public platform::TickClock {
 public:
  int64_t GetTickCount() override;
};

}  // namespace pelmora::platform::linux_os
