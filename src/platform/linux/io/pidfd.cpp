// SPDX-License-Identifier: MIT
#include "platform/linux/io/pidfd.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <limits>

namespace pelmora::platform::linux_os {

UniqueFd PidfdOpen(int64_t pid) {
  // 0 and negative values mean something else to the kernel: never.
  if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return UniqueFd();
  // A direct system call: glibc's wrapper arrived late.
  return UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0u)));
}

}  // namespace pelmora::platform::linux_os
