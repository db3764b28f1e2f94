// SPDX-License-Identifier: MIT
#pragma once
// Whether another Pelmora of the same user runs, decided with an abstract
// unix socket: binding its name claims it, and the kernel releases the name
// when the process ends, however it ends. No file is written.
#include <string>

#include "platform/linux/proc_file_io.h"
#include "platform/single_instance.h"

namespace pelmora::platform::linux_os {

// "pelmora-<uid>" for the calling user.
std::string DefaultInstanceName();

class LinuxSingleInstance : public platform::SingleInstance {
 public:
  // name is the abstract socket name, without the leading NUL; names longer
  // than the kernel allows (107 bytes) are cut to fit.
  explicit LinuxSingleInstance(std::string name = DefaultInstanceName());

  // The first call binds the name; true when another process holds it. A
  // failure to create the socket at all counts as no other instance, so the
  // program still starts. Later calls repeat the first answer.
  bool PrevInstance() override;

 private:
  std::string name_;
  bool decided_ = false;
  bool previous_ = false;
  UniqueFd socket_;  // holds the name for the object's life; close-on-exec
};

}  // namespace pelmora::platform::linux_os
