// SPDX-License-Identifier: MIT
#include "platform/linux/figures/linux_tick_clock.h"

#include <time.h>

namespace pelmora::platform::linux_os {

int64_t LinuxTickClock::GetTickCount() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace pelmora::platform::linux_os
