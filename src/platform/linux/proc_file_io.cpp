// SPDX-License-Identifier: MIT
#include "platform/linux/proc_file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace pelmora::platform::linux_os {
namespace {

constexpr size_t kFirstReadSize = 1024;
constexpr size_t kDirentBufferWords = 4096;  // 32 KiB of records per call

ReadStatus StatusOfErrno(int error) {
  return (error == ENOENT || error == ESRCH) ? ReadStatus::kGone : ReadStatus::kUnreadable;
}

}  // namespace

ReadStatus ReadFileAt(int dir_fd, const char* name, std::string& storage, std::string_view& content,
                      size_t max_bytes, bool stop_at_nul) {
  content = {};
  const UniqueFd fd(::openat(dir_fd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid()) return StatusOfErrno(errno);

  size_t used = 0;
  for (;;) {
    if (used == max_bytes) break;
    if (used == storage.size()) {
      storage.resize(std::min(max_bytes, std::max(kFirstReadSize, storage.size() * 2)));
    }
    const size_t room = std::min(storage.size(), max_bytes) - used;
    const ssize_t n = ::read(fd.get(), storage.data() + used, room);
    if (n < 0) {
      if (errno == EINTR) continue;
      return StatusOfErrno(errno);
    }
    if (n == 0) break;
    const char* chunk = storage.data() + used;
    used += static_cast<size_t>(n);
    if (stop_at_nul && std::memchr(chunk, '\0', static_cast<size_t>(n)) != nullptr) break;
    // A read that did not fill its room reached the end: the kernel writes
    // a /proc text whole into a read that has room for it, so a second read
    // only to be told so is spared.
    if (static_cast<size_t>(n) < room) break;
  }
  content = std::string_view(storage.data(), used);
  return ReadStatus::kOk;
}

bool ReadSmallFile(const std::string& path, std::string& buffer) {
  return KeptFile(path).Read(buffer);
}

bool KeptFile::ReadOpen(std::string& buffer) {
  constexpr size_t kLargest = 1 << 20;
  // One read from offset 0 must take the whole text: sysctl files give
  // nothing to a read that starts anywhere else.
  buffer.resize(std::max<size_t>(4096, buffer.capacity()));
  for (;;) {
    const ssize_t n = ::pread(fd_.get(), buffer.data(), buffer.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (static_cast<size_t>(n) < buffer.size() || buffer.size() >= kLargest) {
      buffer.resize(static_cast<size_t>(n));
      return true;
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool KeptFile::Read(std::string& buffer) {
  if (fd_.valid()) {
    struct stat st {};
    if (::fstat(fd_.get(), &st) == 0 && st.st_nlink > 0 && ReadOpen(buffer)) return true;
    fd_.Reset();
  }
  fd_.Reset(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (fd_.valid() && ReadOpen(buffer)) return true;
  fd_.Reset();
  buffer.clear();
  return false;
}

long ReadDirents(int dir_fd, DirentBuffer& buffer) {
  if (buffer.size() < kDirentBufferWords) buffer.resize(kDirentBufferWords);
  for (;;) {
    const ssize_t n = ::getdents64(dir_fd, buffer.data(), buffer.size() * sizeof(uint64_t));
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

std::string_view DirentName(const DirentBuffer& buffer, size_t at, size_t& record_length) {
  const auto* bytes = reinterpret_cast<const char*>(buffer.data());
  const auto* record = reinterpret_cast<const struct dirent64*>(bytes + at);
  constexpr size_t kNameOffset = offsetof(struct dirent64, d_name);
  record_length = record->d_reclen;
  if (record_length <= kNameOffset) {
    record_length = 0;  // a malformed record ends the listing
    return {};
  }
  return std::string_view(record->d_name, strnlen(record->d_name, record_length - kNameOffset));
}

int64_t CountDirEntriesAt(int dir_fd, const char* name, DirentBuffer& buffer) {
  const UniqueFd dir(::openat(dir_fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir.valid()) return -1;
  int64_t count = 0;
  if (!ForEachDirEntry(dir.get(), buffer, [&count](std::string_view) { ++count; })) return -1;
  return count;
}

}  // namespace pelmora::platform::linux_os
