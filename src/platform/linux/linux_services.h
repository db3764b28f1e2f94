// SPDX-License-Identifier: MIT
#pragma once
#include <memory>

#include "platform/linux/control/linux_process_control.h"
#include "platform/linux/figures/linux_cpu_time_device.h"
#include "platform/linux/figures/linux_free_resources.h"
#include "platform/linux/figures/linux_memory_status.h"
#include "platform/linux/figures/linux_tick_clock.h"
#include "platform/linux/instance/linux_single_instance.h"
#include "platform/linux/io/proc_fs.h"
#include "platform/linux/walk/linux_process_snapshot.h"
#include "platform/services.h"

namespace pelmora::platform::linux_os {

// The operating-system services of the program on Linux, one of each, and
// the one door to /proc they read through.
struct LinuxServices {
  LinuxSingleInstance instance;
  std::unique_ptr<ProcFs> proc = ProcFs::ForThisProgram();
  LinuxTickClock clock;
  LinuxCpuTimeDevice cpuTime{clock, *proc};
  LinuxMemoryStatus memory{*proc};
  LinuxFreeResources resources{*proc};
  LinuxProcessSnapshotSource processes{*proc, clock};
  LinuxProcessControl processControl{*proc};

  platform::Services Services() {
    return {instance, cpuTime, clock, memory, resources, processes, processControl};
  }
};

}  // namespace pelmora::platform::linux_os
