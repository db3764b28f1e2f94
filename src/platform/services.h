// SPDX-License-Identifier: MIT
#pragma once
#include "platform/cpu_time_device.h"
#include "platform/free_resources.h"
#include "platform/memory_status.h"
#include "platform/process_control.h"
#include "platform/process_snapshot.h"
#include "platform/single_instance.h"
#include "platform/tick_clock.h"

namespace pelmora::platform {

// The operating-system services the window uses, one of each. The program
// hands it the Linux ones; tests hand it fakes.
struct Services {
  SingleInstance& Instance;
  CpuTimeDevice& CpuTime;
  TickClock& Clock;
  MemoryStatusSource& Memory;
  FreeResources& Resources;
  ProcessSnapshotSource& Processes;
  platform::ProcessControl& ProcessControl;
};

}  // namespace pelmora::platform
