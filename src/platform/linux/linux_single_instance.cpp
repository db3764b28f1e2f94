// SPDX-License-Identifier: MIT
#include "platform/linux/linux_single_instance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>

namespace pelmora::platform::linux_os {

std::string DefaultInstanceName() { return "pelmora-" + std::to_string(::getuid()); }

LinuxSingleInstance::LinuxSingleInstance(std::string name) : name_(std::move(name)) {
  constexpr size_t kMaxName = sizeof(sockaddr_un::sun_path) - 1;  // after the leading NUL
  if (name_.size() > kMaxName) name_.resize(kMaxName);
}

bool LinuxSingleInstance::PrevInstance() {
  if (decided_) return previous_;
  decided_ = true;

  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return previous_;

  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  address.sun_path[0] = '\0';  // abstract namespace: no file
  std::copy(name_.begin(), name_.end(), address.sun_path + 1);
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name_.size());
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), length) == 0) {
    socket_ = std::move(fd);
  } else {
    previous_ = (errno == EADDRINUSE);
  }
  return previous_;
}

}  // namespace pelmora::platform::linux_os
