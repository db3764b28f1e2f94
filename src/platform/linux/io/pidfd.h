// SPDX-License-Identifier: MIT
#pragma once
// pidfds: a pidfd holds one process, not its PID. It turns readable once
// that process ends, and signals sent through it reach that process or
// none.
#include <cstdint>
#include <optional>

#include "platform/linux/io/unique_fd.h"

namespace pelmora::platform::linux_os {

// A pidfd of the process with this PID in this program's PID namespace;
// invalid where there is none (or the kernel has no pidfds).
UniqueFd PidfdOpen(int64_t pid);

// The PID of the process the pidfd holds, as the /proc whose root is open
// at root numbers it (its self/fdinfo); nullopt where that /proc does not
// show it. pidfd_open() counts in this program's PID namespace, a /proc in
// that of its mount: they differ where /proc was mounted for another
// namespace.
std::optional<int64_t> PidfdPid(int root, int pidfd);

}  // namespace pelmora::platform::linux_os
