// SPDX-License-Identifier: MIT
#pragma once
#include <array>
#include <cstdint>

#include "platform/cpu_time_device.h"
#include "platform/tick_clock.h"

namespace pelmora::monitor {

// Measures how busy the machine was since the previous call, from the
// growth of the idle record's time counter on the CPU-time device against
// the tick clock.
class CpuLoadMeter {
 public:
  static constexpr int kBufferWords = 4097;
  static constexpr int kOfferedBytes = 16380;  // 4095 words: the last two never receive data
  static constexpr int kLastScannedIndex = kOfferedBytes / 4;

  // The CPU load in hundredths of a percent (10000 = fully busy); 0 when no
  // load can be computed. Not clamped.
  float ReadCpuLoad(platform::CpuTimeDevice& device, platform::TickClock& clock);

  // Form-level state, zero at creation.
  std::array<int32_t, kBufferWords> WintopBuffer{};
  int64_t PrevTick = 0;
  int64_t CurTick = 0;
  int32_t PrevIdleTime = 0;

  bool HasPrevTick() const { return calls_ >= 2; }

 private:
  int64_t calls_ = 0;
  bool hasPrevIdleTime_ = false;
};

}  // namespace pelmora::monitor
