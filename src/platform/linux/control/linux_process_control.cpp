// SPDX-License-Identifier: MIT
#include "platform/linux/control/linux_process_control.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <utility>

#include "platform/linux/io/pidfd.h"
#include "platform/linux/io/proc_fs.h"

namespace pelmora::platform::linux_os {
namespace {

// A direct system call: glibc's wrapper arrived late and its header of it
// is not usable from C++ on every release.
int PidfdSendSignal(int pidfd, int signal) {
  return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0u));
}

class PidfdHandle : public platform::ProcessHandle {
 public:
  explicit PidfdHandle(UniqueFd pidfd) : pidfd_(std::move(pidfd)) {}

  bool TerminateProcess() override { return PidfdSendSignal(pidfd_.get(), SIGKILL) == 0; }

 private:
  UniqueFd pidfd_;  // closed once, with the handle
};

// The start time of the process with this PID as the /proc says it now.
std::optional<uint64_t> CurrentStartTime(ProcFs& door, int64_t pid) {
  ReadStatus status;
  const UniqueFd fd = door.OpenStat(pid, status);
  if (!fd.valid()) return std::nullopt;
  const auto stat = door.ReadStat(fd.get(), status);
  if (!stat || stat->pid != pid) return std::nullopt;
  return stat->starttime;
}

}  // namespace

std::unique_ptr<platform::ProcessHandle> LinuxProcessControl::OpenProcess(int64_t pid,
                                                                          uint64_t startTime) {
  using platform::OpenRefusal;
  refusal_ = OpenRefusal::kFailed;
  errno = 0;
  UniqueFd pidfd = PidfdOpen(pid);
  if (!pidfd.valid()) {
    if (errno == ESRCH) refusal_ = OpenRefusal::kAnotherProcess;
    return nullptr;
  }
  // The pidfd must hold the very process the list's /proc shows under pid.
  if (door_.PidfdPid(pidfd.get()) != pid) return nullptr;

  // The pidfd pins the process, not the PID: read its start time now and
  // then check it still exists. While it exists (zombie included) its PID
  // cannot have passed to another process, so the stat read was its own.
  const auto started = CurrentStartTime(door_, pid);
  if (!started || *started != startTime) {
    refusal_ = OpenRefusal::kAnotherProcess;
    return nullptr;
  }
  if (PidfdSendSignal(pidfd.get(), 0) != 0) {
    // ESRCH: gone meanwhile; EPERM: not ours to end
    refusal_ = errno == EPERM ? OpenRefusal::kNotPermitted : OpenRefusal::kAnotherProcess;
    return nullptr;
  }
  refusal_ = OpenRefusal::kNone;
  return std::make_unique<PidfdHandle>(std::move(pidfd));
}

}  // namespace pelmora::platform::linux_os
