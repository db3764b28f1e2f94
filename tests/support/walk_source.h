// SPDX-License-Identifier: MIT
#pragma once
// A process snapshot source with a door of its own to a /proc root and a
// held-file budget: the walk as the Linux services make it.
#include <string>

#include "platform/linux/io/proc_fs.h"
#include "platform/linux/walk/linux_process_snapshot.h"

namespace pelmora::testing_support {

struct OwnDoor {
  platform::linux_os::ProcFs door;
};

class WalkSource : public OwnDoor, public platform::linux_os::LinuxProcessSnapshotSource {
 public:
  WalkSource(const std::string& root, size_t maxHeld, platform::TickClock& clock,
             platform::linux_os::ProcFsOptions options = {})
      : OwnDoor{platform::linux_os::ProcFs(root, (options.maxHeld = maxHeld, options))},
        LinuxProcessSnapshotSource(door, clock) {}
};

}  // namespace pelmora::testing_support
