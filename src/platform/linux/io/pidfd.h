// SPDX-License-Identifier: MIT
#pragma once
// pidfds: a pidfd holds one process, not its PID. It turns readable once
// that process ends, and signals sent through it reach that process or
// none. Which PID a /proc gives its process: ProcFs::PidfdPid.
#include <cstdint>

#include "platform/linux/io/unique_fd.h"

namespace pelmora::platform::linux_os {

// A pidfd of the process with this PID in this program's PID namespace;
// invalid where there is none (or the kernel has no pidfds).
UniqueFd PidfdOpen(int64_t pid);

}  // namespace pelmora::platform::linux_os
