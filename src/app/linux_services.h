// SPDX-License-Identifier: MIT
#pragma once
#include "app/form1.h"
#include "platform/linux/linux_cpu_time_device.h"
#include "platform/linux/linux_free_resources.h"
#include "platform/linux/linux_memory_status.h"
#include "platform/linux/linux_process_control.h"
#include "platform/linux/linux_process_snapshot.h"
#include "platform/linux/linux_single_instance.h"
#include "platform/linux/linux_tick_clock.h"

namespace pelmora::app {

// The operating-system services of the program on Linux, one of each.
struct LinuxServices {
  platform::linux_os::LinuxSingleInstance instance;
  platform::linux_os::LinuxTickClock clock;
  platform::linux_os::LinuxCpuTimeDevice cpuTime{clock};
  platform::linux_os::LinuxMemoryStatus memory;
  platform::linux_os::LinuxFreeResources resources;
  platform::linux_os::LinuxProcessSnapshotSource processes;
  platform::linux_os::LinuxProcessControl processControl;

  Form1Services Services() {
    return {instance, cpuTime, clock, memory, resources, processes, processControl};
  }
};

}  // namespace pelmora::app
