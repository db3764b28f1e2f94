// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>

#include "platform/linux/figures/linux_cpu_time_device.h"
#include "platform/linux/figures/linux_free_resources.h"
#include "platform/linux/figures/linux_memory_status.h"
#include "platform/linux/control/linux_process_control.h"
#include "platform/linux/walk/linux_process_snapshot.h"
#include "platform/linux/instance/linux_single_instance.h"
#include "platform/linux/figures/linux_tick_clock.h"
#include "platform/services.h"

namespace pelmora::platform::linux_os {

// How many files the process walk may hold open, decided once per program:
// the soft RLIMIT_NOFILE is raised, within the hard limit, so that
// kReserveFds stay for everything else the program opens (the window
// system's and the toolkit's connections, the accessibility bus, fonts,
// /proc texts) besides kMaxHeldFiles; with a lower hard limit, fewer.
inline constexpr size_t kMaxHeldFiles = 4096;
inline constexpr size_t kReserveFds = 512;
size_t RaiseFileLimitForHeldFiles();

// The operating-system services of the program on Linux, one of each.
struct LinuxServices {
  LinuxSingleInstance instance;
  LinuxTickClock clock;
  LinuxCpuTimeDevice cpuTime{clock};
  LinuxMemoryStatus memory;
  LinuxFreeResources resources;
  LinuxProcessSnapshotSource processes{"/proc", RaiseFileLimitForHeldFiles(), clock};
  LinuxProcessControl processControl;

  platform::Services Services() {
    return {instance, cpuTime, clock, memory, resources, processes, processControl};
  }
};

}  // namespace pelmora::platform::linux_os
