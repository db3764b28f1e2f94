// SPDX-License-Identifier: MIT
#pragma once
// Ending processes on Linux through pidfds.
//
// OpenProcess takes a pidfd for the PID and then makes sure it names the
// process the caller saw: /proc must number the pidfd's process with that
// PID (/proc may belong to another PID namespace than the program, and the
// same number then names another process), the start time in
// /proc/PID/stat must be the one given (a reused PID has another), and the
// caller must be allowed to signal it. Anything else gives no handle, and
// LastRefusal tells which: no such process or another start time, no
// permission, or something else.
// TerminateProcess sends SIGKILL through the pidfd, so it can never reach a
// process that took the PID over later. Linux ends a process with a signal,
// not an exit code: the parent sees "killed by signal 9".
#include <cstdint>
#include <memory>

#include "platform/process_control.h"

namespace pelmora::platform::linux_os {

class ProcFs;

class LinuxProcessControl : public platform::ProcessControl {
 public:
  // door: the /proc where the start times and self/fdinfo are read.
  explicit LinuxProcessControl(ProcFs& door) : door_(door) {}

  std::unique_ptr<platform::ProcessHandle> OpenProcess(int64_t pid, uint64_t startTime) override;
  platform::OpenRefusal LastRefusal() const override { return refusal_; }

 private:
  ProcFs& door_;
  platform::OpenRefusal refusal_ = platform::OpenRefusal::kNone;
};

}  // namespace pelmora::platform::linux_os
