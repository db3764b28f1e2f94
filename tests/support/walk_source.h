// SPDX-License-Identifier: MIT
#pragma once
// A process snapshot source with a door of its own to a /proc root, as the
// Linux services make one: the tests' way to walk a root with a budget.
#include <string>
#include <utility>

#include "platform/linux/io/proc_fs.h"
#include "platform/linux/walk/linux_process_snapshot.h"

namespace pelmora::testing_support {

struct OwnDoor {
  OwnDoor(std::string root, platform::linux_os::ProcFs::Options options)
      : door(std::move(root), std::move(options)) {}
  platform::linux_os::ProcFs door;
};

class WalkSource : public OwnDoor, public platform::linux_os::LinuxProcessSnapshotSource {
 public:
  WalkSource(std::string root, size_t maxHeld, platform::TickClock& clock,
             platform::linux_os::ProcFs::Options options = {})
      : OwnDoor(std::move(root), WithBudget(std::move(options), maxHeld)),
        LinuxProcessSnapshotSource(door, clock) {}

 private:
  static platform::linux_os::ProcFs::Options WithBudget(platform::linux_os::ProcFs::Options o,
                                                        size_t maxHeld) {
    o.maxHeld = maxHeld;
    return o;
  }
};

}  // namespace pelmora::testing_support
