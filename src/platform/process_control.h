// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <memory>

namespace pelmora::platform {

// An open process. Destroying it closes the handle.
class ProcessHandle {
 public:
  virtual ~ProcessHandle() = default;
  // Ends the process at once. False when it could not be ended.
  virtual bool TerminateProcess() = 0;
};

// Why OpenProcess gave no handle.
enum class OpenRefusal : uint8_t {
  kNone,            // it gave one
  kAnotherProcess,  // the ID names no process now, or one that started at another time
  kNotPermitted,    // the process is there, but not ours to end
  kFailed,          // anything else (no descriptor free, a /proc of another PID namespace, ...)
};

class ProcessControl {
 public:
  virtual ~ProcessControl() = default;
  // Opens the process with this ID, provided it is still the one that
  // started at startTime; nullptr when it cannot be opened (gone, reused,
  // not ours to end).
  virtual std::unique_ptr<ProcessHandle> OpenProcess(int64_t pid, uint64_t startTime) = 0;
  // Why the last OpenProcess gave no handle; kNone when it gave one.
  virtual OpenRefusal LastRefusal() const = 0;
};

}  // namespace pelmora::platform
