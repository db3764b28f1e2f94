// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/free_resources.h"
#include "platform/linux/io/proc_fs.h"

namespace pelmora::platform::linux_os {

// Three real, limited Linux resources as percentages still free (0 to 100,
// rounded down, so 100 only while none is used):
//   0 system: the kernel's task slots, the tasks in /proc/loadavg against the
//     smaller of kernel/pid_max and kernel/threads-max;
//   1 GDI:    the system's file handles, /proc/sys/fs/file-nr;
//   2 User:   the user's own task budget, the tighter of RLIMIT_NPROC (with
//     the user's task count) and every pids limit on the way from this
//     process's cgroup to the root; 100 when neither limits the user.
// The user's task count is the pids.current of the user's slice
// (user.slice/user-UID.slice); where there is no such cgroup, it is the
// machine's task count, which is never less than the user's. Root is not held
// to RLIMIT_NPROC. Each figure costs a few small file reads.
class LinuxFreeResources : public platform::FreeResources {
 public:
  // The soft RLIMIT_NPROC; nullopt when unlimited.
  using TaskLimit = std::function<std::optional<uint64_t>()>;

  // The running system: /proc through the door, /sys, this process's user
  // and limit.
  explicit LinuxFreeResources(ProcFs& door);
  // sysRoot stands for /sys. The cgroup directories are found once, here.
  LinuxFreeResources(ProcFs& door, std::string sysRoot, uint32_t uid, TaskLimit taskLimit);

  std::optional<int32_t> GetFreeSystemResources(int32_t selector) override;

 private:
  struct PidsLevel {
    KeptFile max;
    KeptFile current;
  };

  std::optional<int32_t> SystemTasks();
  std::optional<int32_t> FileHandles();
  std::optional<int32_t> UserTasks();
  std::optional<uint64_t> MachineTasks();
  std::optional<uint64_t> ReadNumber(KeptFile& file);
  std::optional<uint64_t> ReadNumber(SystemText which);
  void FindCgroups(const std::string& sysRoot);

  ProcFs& door_;
  uint32_t uid_;
  TaskLimit taskLimit_;
  KeptFile userSliceCurrent_;          // no path when the user has no slice
  std::vector<PidsLevel> pidsLevels_;  // this process's cgroup first, then its parents
  std::string text_;                   // reused for every read
};

}  // namespace pelmora::platform::linux_os
