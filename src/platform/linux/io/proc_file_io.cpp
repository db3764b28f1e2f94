// SPDX-License-Identifier: MIT
#include "platform/linux/io/proc_file_io.h"

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

}  // namespace

ReadStatus StatusOfErrno(int error) {
  if (error == ENOENT || error == ESRCH) return ReadStatus::kGone;
  if (error == EMFILE || error == ENFILE) return ReadStatus::kNoRoom;
  return ReadStatus::kUnreadable;
}

ReadStatus ReadText(int fd, char* data, size_t room, size_t& got) {
  got = 0;
  for (;;) {
    const ssize_t n = ::pread(fd, data, room, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return StatusOfErrno(errno);
    }
    got = static_cast<size_t>(n);
    return got < room ? ReadStatus::kOk : ReadStatus::kCapped;
  }
}

ReadStatus ReadText(int fd, std::string& buffer, size_t cap) {
  size_t room = std::min(cap, std::max(kFirstReadSize, buffer.capacity()));
  for (;;) {
    buffer.resize(room);
    size_t got = 0;
    const ReadStatus status = ReadText(fd, buffer.data(), room, got);
    buffer.resize(got);
    if (status != ReadStatus::kCapped || room >= cap) return status;
    // Read again from the start: a text written afresh is read whole.
    room = std::min(cap, room * 2);
  }
}

ReadStatus ReadTextAt(int dir_fd, const char* name, std::string& buffer, size_t cap) {
  const UniqueFd fd(::openat(dir_fd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid()) {
    buffer.clear();
    return StatusOfErrno(errno);
  }
  return ReadText(fd.get(), buffer, cap);
}

ReadStatus ReadKept(UniqueFd& fd, const std::function<UniqueFd(ReadStatus&)>& reopen,
                    std::string& buffer, size_t cap) {
  if (fd.valid()) {
    struct stat st {};
    if (::fstat(fd.get(), &st) == 0 && st.st_nlink > 0) {
      const ReadStatus status = ReadText(fd.get(), buffer, cap);
      if (HasText(status)) return status;
    }
    fd.Reset();
  }
  ReadStatus status = ReadStatus::kUnreadable;
  fd = reopen(status);
  if (fd.valid()) {
    status = ReadText(fd.get(), buffer, cap);
    if (HasText(status)) return status;
  }
  fd.Reset();
  buffer.clear();
  return status == ReadStatus::kNoRoom ? status : ReadStatus::kUnreadable;
}

ReadStatus KeptFile::Read(std::string& buffer, size_t cap) {
  return ReadKept(
      fd_,
      [this](ReadStatus& status) {
        UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
        if (!fd.valid()) status = StatusOfErrno(errno);
        return fd;
      },
      buffer, cap);
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
