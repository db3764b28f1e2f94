// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/cpu_time_device.h"
#include "platform/linux/parsers/proc_stat_parser.h"
#include "platform/tick_clock.h"

namespace pelmora::platform::linux_os {

class ProcFs;

// The CPU-time device on Linux. Its record table holds one record, the idle
// record {0, 0, idle milliseconds, 2}. The idle counter advances in step with
// the tick clock: on every table request the device reads /proc/stat and
// advances the counter by the idle share of the span since its previous
// request times the milliseconds that passed on the tick clock over the same
// span. A fully idle machine therefore shows the counter growing exactly as
// fast as the tick count, a fully busy one not at all.
//
// The device lives as long as the program and keeps its state across the
// handles opened on it; handles must not outlive it.
class LinuxCpuTimeDevice : public platform::CpuTimeDevice {
 public:
  // Stores the whole text of /proc/stat into its argument; false when it
  // cannot be read.
  using StatReader = std::function<bool(std::string&)>;

  LinuxCpuTimeDevice(platform::TickClock& clock, StatReader readStat);
  // Reads /proc/stat through the door.
  LinuxCpuTimeDevice(platform::TickClock& clock, ProcFs& door);

  // nullptr when /proc/stat cannot be read and parsed.
  std::unique_ptr<platform::CpuTimeHandle> Open() override;

  // Serves a request sent through a handle.
  bool DeviceIoControl(uint32_t code, std::span<int32_t> out, int32_t& bytesReturned);

  // The accumulated idle time in whole milliseconds, before wrapping to the
  // record's 32-bit word.
  uint64_t IdleMilliseconds() const { return idleWhole_; }

 private:
  // Takes a new sample and advances the idle counter; false without one.
  bool Advance();

  platform::TickClock& clock_;
  StatReader readStat_;
  std::string text_;
  bool statGood_ = false;  // the last reading of /proc/stat could be parsed

  std::optional<CpuTimes> prevSample_;  // the last good sample
  std::optional<int64_t> prevTick_;     // tick count of the previous table request
  std::optional<IdleShare> lastShare_;  // share of the last span that held clock ticks
  uint64_t idleWhole_ = 0;              // whole milliseconds of idle time
  double idleFraction_ = 0.0;           // the part of a millisecond not yet counted, [0, 1)
};

}  // namespace pelmora::platform::linux_os
