// SPDX-License-Identifier: MIT
#pragma once

namespace pelmora::platform {

// Whether another instance of this program, of the same user, is running.
// The first call claims the instance for this process; the claim ends with
// the process, however it ends.
class SingleInstance {
 public:
  virtual ~SingleInstance() = default;
  virtual bool PrevInstance() = 0;
};

}  // namespace pelmora::platform
