// SPDX-License-Identifier: MIT
#pragma once
// Whether another Pelmora of the same user runs. An instance holds two
// listening unix sockets that nobody accepts from: connecting to one tells
// whether it is alive, and SO_PEERCRED whose it is.
//
// - The socket `name` in the user's runtime directory ($XDG_RUNTIME_DIR),
//   used only when that is a directory of this user that no one else may
//   write to, so no other user can take the name. A killed instance leaves
//   its socket file behind; it refuses connections and is replaced. A file
//   that cannot be checked (the connection fails otherwise, say for want of
//   a descriptor) is left alone and not claimed, and the abstract name
//   alone decides. The check runs under flock() on the directory, so two
//   starts that both find a stale file do not both replace it; a normal end
//   removes the file.
// - The abstract socket name `name`, for starts without such a directory and
//   to meet instances started without one. Any local user can bind an
//   abstract name, so its holder counts only when it runs as this user; one
//   of another user is ignored (and, where there is no runtime directory,
//   then keeps no second start of this user out either). The kernel drops
//   the name when its holder ends, however it ends.
//
// Nothing else is written; no setting is kept.
#include <sys/types.h>

#include <string>

#include "platform/linux/unique_fd.h"
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
