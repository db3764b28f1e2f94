// SPDX-License-Identifier: MIT
#pragma once
// Whether another Pelmora of the same user runs. An instance holds two
// listening unix sockets that nobody accepts from, the socket `name` in the
// user's runtime directory (where that is the user's own and no one else
// may write to it) and the abstract name `name`: connecting tells whether
// one is alive, and SO_PEERCRED whose it is. Another user can never keep
// this user's instance out, and a killed instance never blocks the next.
// Why each rule is as it is: docs/single-instance.md.
#include <sys/types.h>

#include <string>

#include "platform/linux/io/unique_fd.h"
#include "platform/single_instance.h"

namespace pelmora::platform::linux_os {

// "pelmora-<uid>" for the calling user.
std::string DefaultInstanceName();
// $XDG_RUNTIME_DIR; empty when it is not set.
std::string DefaultRuntimeDirectory();

class LinuxSingleInstance : public platform::SingleInstance {
 public:
  // name is a file name (no "/"); names longer than the socket addresses
  // allow are cut to fit, the same way in every process. runtime_dir may be
  // empty, or unsuitable (then only the abstract name is used).
  explicit LinuxSingleInstance(std::string name = DefaultInstanceName(),
                               std::string runtime_dir = DefaultRuntimeDirectory());
  ~LinuxSingleInstance() override;
  LinuxSingleInstance(const LinuxSingleInstance&) = delete;
  LinuxSingleInstance& operator=(const LinuxSingleInstance&) = delete;

  // The first call decides and claims; true when a process of this user
  // holds either socket. A check that fails counts as no other instance,
  // so the program still starts, but removes nothing. Later calls repeat
  // the first answer.
  bool PrevInstance() override;

 private:
  bool Decide();

  std::string abstract_name_;
  std::string file_name_;
  std::string runtime_dir_;
  bool decided_ = false;
  bool previous_ = false;
  // Every descriptor is close-on-exec, so programs started later hold nothing.
  UniqueFd dir_;           // the runtime directory, when it is suitable
  UniqueFd file_socket_;   // listens at dir_/file_name_
  dev_t file_device_ = 0;  // the socket file made, to remove only that one
  ino_t file_inode_ = 0;
  UniqueFd abstract_socket_;  // listens at the abstract name
};

}  // namespace pelmora::platform::linux_os
