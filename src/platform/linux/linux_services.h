// SPDX-License-Identifier: MIT
#pragma once
#include "platform/linux/figures/linux_cpu_time_device.h"
#include "platform/linux/figures/linux_free_resources.h"
#include "platform/linux/figures/linux_memory_status.h"
#include "platform/linux/control/linux_process_control.h"
#include "platform/linux/walk/linux_process_snapshot.h"
#include "platform/linux/instance/linux_single_instance.h"
#include "platform/linux/figures/linux_tick_clock.h"
#include "platform/services.h"

namespace pelmora::platform::linux_os {

// The operating-system services of the program on Linux, one of each.
struct LinuxServices {
  LinuxSingleInstance instance;
  LinuxTickClock clock;
  LinuxCpuTimeDevice cpuTime{clock};
  LinuxMemoryStatus memory;
  LinuxFreeResources resources;
  LinuxProcessSnapshotSource processes;
  LinuxProcessControl processControl;

  platform::Services Services() {
    return {instance, cpuTime, clock, memory, resources, processes, processControl};
  }
};

}  // namespace pelmora::platform::linux_os
