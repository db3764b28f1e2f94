// SPDX-License-Identifier: MIT
#include "monitor/cpu_load_meter.h"

#include <algorithm>
#include <span>

namespace pelmora::monitor {

float CpuLoadMeter::ReadCpuLoad(platform::CpuTimeDevice& device, platform::TickClock& clock) {
  float result = 0;
  int32_t count = 0;

  std::unique_ptr<platform::CpuTimeHandle> handle = device.Open();
  int32_t refreshOut = 0;
  if (handle) handle->DeviceIoControl(platform::kCpuTimeRefresh, std::span(&refreshOut, 1), count);

  PrevTick = CurTick;
  CurTick = clock.GetTickCount();
  if (calls_ < 2) ++calls_;

  if (handle) {
    handle->DeviceIoControl(platform::kCpuTimeReadTable,
                            std::span(WintopBuffer.data(), kOfferedBytes / 4), count);
  }
  handle.reset();

  // The count is compared with the word index directly. It never lets the
  // scan past the words that can hold data.
  const int32_t n = std::min(count, kLastScannedIndex);
  int32_t idleFlag = -1;
  for (int32_t i = 3; i <= n; i += 4) {
    if (WintopBuffer[i] & platform::kCpuTimeIdleFlag) {
      idleFlag = i;
      break;
    }
  }
  if (idleFlag < 0) {
    // The idle time kept now spans more than the next call's tick span: the
    // next call computes no load, as after a start without one.
    hasPrevIdleTime_ = false;
    return result;
  }

  const int32_t idleTime = WintopBuffer[idleFlag - 1];
  const int64_t elapsed = CurTick - PrevTick;
  if (elapsed > 0 && HasPrevTick() && hasPrevIdleTime_) {
    // The counter is a 32-bit word that wraps: its growth is taken modulo 2^32.
    const auto idleDelta =
        static_cast<int32_t>(static_cast<uint32_t>(idleTime) - static_cast<uint32_t>(PrevIdleTime));
    const int64_t product = static_cast<int64_t>(idleDelta) * 10000;
    result =
        static_cast<float>(10000.0 - static_cast<double>(product) / static_cast<double>(elapsed));
  }
  PrevIdleTime = idleTime;
  hasPrevIdleTime_ = true;
  return result;
}

}  // namespace pelmora::monitor
