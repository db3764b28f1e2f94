// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <memory>
#include <span>

namespace pelmora::platform {

// The CPU-time device: asked with control code 1 it writes a table of
// four-word records into the caller's buffer. Word 2 of a record is a
// thread's accumulated time in milliseconds (a 32-bit counter that wraps),
// word 3 its flags; the bit of value 2 marks the idle record.
inline constexpr uint32_t kCpuTimeRefresh = 2;
inline constexpr uint32_t kCpuTimeReadTable = 1;
inline constexpr int32_t kCpuTimeIdleFlag = 2;

// An open handle on the device. Destroying it closes it.
class CpuTimeHandle {
 public:
  virtual ~CpuTimeHandle() = default;
  // Sends a control code. Writes at most out.size() words and stores the
  // number of bytes written in bytesReturned (left alone when nothing is
  // reported). Returns false when the request failed.
  virtual bool DeviceIoControl(uint32_t code, std::span<int32_t> out, int32_t& bytesReturned) = 0;
};

// The device itself lives as long as the program; handles come and go.
class CpuTimeDevice {
 public:
  virtual ~CpuTimeDevice() = default;
  // nullptr when the device cannot be opened.
  virtual std::unique_ptr<CpuTimeHandle> Open() = 0;
};

}  // namespace pelmora::platform
