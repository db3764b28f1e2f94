// SPDX-License-Identifier: MIT
#include "platform/linux/figures/linux_cpu_time_device.h"

#include <cmath>
#include <memory>
#include <utility>

#include "platform/linux/io/proc_fs.h"

namespace pelmora::platform::linux_os {

namespace {

constexpr size_t kRecordWords = 4;
constexpr int32_t kRecordBytes = 16;

class Handle : public platform::CpuTimeHandle {
 public:
  explicit Handle(LinuxCpuTimeDevice& device) : device_(device) {}
  bool DeviceIoControl(uint32_t code, std::span<int32_t> out, int32_t& bytesReturned) override {
    return device_.DeviceIoControl(code, out, bytesReturned);
  }

 private:
  LinuxCpuTimeDevice& device_;
};

}  // namespace

LinuxCpuTimeDevice::LinuxCpuTimeDevice(platform::TickClock& clock, StatReader readStat)
    : clock_(clock), readStat_(std::move(readStat)) {}

LinuxCpuTimeDevice::LinuxCpuTimeDevice(platform::TickClock& clock, ProcFs& door)
    : LinuxCpuTimeDevice(clock, [&door](std::string& text) {
        // Only the first lines are read: a text longer than the cap
        // (thousands of CPUs) is taken as far as it goes.
        return HasText(door.ReadSystemText(SystemText::kStat, text));
      }) {}

std::unique_ptr<platform::CpuTimeHandle> LinuxCpuTimeDevice::Open() {
  // The request that follows reads /proc/stat anyway: it is read here only
  // when its last reading failed, or before the first.
  if (!statGood_) statGood_ = readStat_(text_) && ParseProcStat(text_);
  if (!statGood_) return nullptr;
  return std::make_unique<Handle>(*this);
}

bool LinuxCpuTimeDevice::DeviceIoControl(uint32_t code, std::span<int32_t> out,
                                         int32_t& bytesReturned) {
  if (code == platform::kCpuTimeRefresh) return true;
  if (code != platform::kCpuTimeReadTable) return false;
  if (out.size() < kRecordWords) return false;  // nothing written, nothing consumed

  // Without a reading of /proc/stat there is nothing to report: no record,
  // rather than an idle counter that stood still as if the machine were busy.
  if (!Advance()) return false;
  out[0] = 0;
  out[1] = 0;
  // The word wraps modulo 2^32, as the counter of a 32-bit driver would.
  out[2] = static_cast<int32_t>(static_cast<uint32_t>(idleWhole_));
  out[3] = platform::kCpuTimeIdleFlag;
  bytesReturned = kRecordBytes;
  return true;
}

bool LinuxCpuTimeDevice::Advance() {
  // The tick count first, so that it lies as close as possible to the one
  // the caller has just taken.
  const int64_t now = clock_.GetTickCount();
  const std::optional<int64_t> before = std::exchange(prevTick_, now);

  const std::optional<CpuTimes> sample =
      readStat_(text_) ? ParseProcStat(text_) : std::optional<CpuTimes>();
  statGood_ = sample.has_value();
  if (!sample) return false;  // the previous good sample stays the reference
  const std::optional<CpuTimes> previous = std::exchange(prevSample_, *sample);
  if (!previous) return true;  // the first sample has no span before it

  if (std::optional<IdleShare> share = IdleShareBetween(*previous, *sample)) lastShare_ = share;
  if (!before || !lastShare_ || now <= *before) return true;  // the clock stood still or went back

  const uint64_t elapsed = static_cast<uint64_t>(now) - static_cast<uint64_t>(*before);
  if (lastShare_->idle == lastShare_->total) {  // fully idle: exactly the elapsed time
    idleWhole_ += elapsed;
    return true;
  }
  if (lastShare_->idle == 0) return true;  // fully busy
  double whole = 0.0;
  idleFraction_ = std::modf(idleFraction_ + static_cast<double>(lastShare_->idle) *
                                                static_cast<double>(elapsed) /
                                                static_cast<double>(lastShare_->total),
                            &whole);
  idleWhole_ += static_cast<uint64_t>(whole);
  return true;
}

}  // namespace pelmora::platform::linux_os
