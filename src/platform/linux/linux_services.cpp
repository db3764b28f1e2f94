// SPDX-License-Identifier: MIT
#include "platform/linux/linux_services.h"

#include <sys/resource.h>

#include <algorithm>

namespace pelmora::platform::linux_os {

size_t RaiseFileLimitForHeldFiles() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
  const rlim_t wanted = kMaxHeldFiles + kReserveFds;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
    if (raised.rlim_cur > limit.rlim_cur && ::setrlimit(RLIMIT_NOFILE, &raised) == 0) {
      limit = raised;
    }
  }
  if (limit.rlim_cur == RLIM_INFINITY) return kMaxHeldFiles;
  if (limit.rlim_cur <= kReserveFds) return 0;
  return std::min<size_t>(kMaxHeldFiles, limit.rlim_cur - kReserveFds);
}

}  // namespace pelmora::platform::linux_os
