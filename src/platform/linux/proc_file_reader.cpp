#include "platform/linux/proc_file_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace pelmora::platform::linux_os {

namespace {
constexpr size_t kInitialCapacity = 4096;
}

bool ReadSmallFile(const std::string& path, std::string& buffer) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  if (buffer.capacity() < kInitialCapacity) buffer.reserve(kInitialCapacity);
  size_t used = 0;
  bool ok = true;
  for (;;) {
    // resize() within the capacity does not allocate.
    if (used == buffer.capacity()) buffer.reserve(buffer.capacity() * 2);
    buffer.resize(buffer.capacity());
    ssize_t got = ::read(fd, buffer.data() + used, buffer.size() - used);
    if (got < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (got == 0) break;
    used += static_cast<size_t>(got);
  }
  ::close(fd);
  buffer.resize(used);
  return ok;
}

}  // namespace pelmora::platform::linux_os
