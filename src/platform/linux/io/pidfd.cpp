// SPDX-License-Identifier: MIT
#include "platform/linux/io/pidfd.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <limits>
#include <string>

#include "platform/linux/io/process_files.h"
#include "platform/linux/parsers/proc_pid_parsers.h"

namespace pelmora::platform::linux_os {

UniqueFd PidfdOpen(int64_t pid) {
  // 0 and negative values mean something else to the kernel: never.
  if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return UniqueFd();
  // A direct system call: glibc's wrapper arrived late.
  return UniqueFd(static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0u)));
}

std::optional<int64_t> PidfdPid(int root, int pidfd) {
  ProcessFiles self(root, ProcessFiles::kSelf);
  std::string text;
  if (ReadTextAt(root, self.Name("fdinfo/", pidfd), text, 4096) != ReadStatus::kOk) {
    return std::nullopt;
  }
  return ParseFdinfoPid(text);
}

}  // namespace pelmora::platform::linux_os
