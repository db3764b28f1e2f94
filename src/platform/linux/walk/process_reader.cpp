// SPDX-License-Identifier: MIT
#include "platform/linux/walk/process_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

namespace pelmora::platform::linux_os {

const char* ProcessFiles::Name(std::string_view file) {
  char* const end = name_.data() + name_.size() - 1;
  char* at = std::to_chars(name_.data(), end, pid_).ptr;
  *at++ = '/';
  const size_t room = static_cast<size_t>(end - at);
  at = std::copy_n(file.begin(), std::min(room, file.size()), at);
  *at = '\0';
  return name_.data();
}

UniqueFd OpenStat(ProcessFiles& files, ReadStatus& status) {
  UniqueFd fd(::openat(files.at(), files.Name("stat"), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  status = fd.valid() ? ReadStatus::kOk : StatusOfErrno(errno);
  return fd;
}

std::optional<PidStat> ReadStatFd(int fd, ReadBuffers& buffers, ReadStatus& status) {
  size_t got = 0;
  status = ReadText(fd, buffers.stat.data(), buffers.stat.size(), got);
  const std::string_view text(buffers.stat.data(), got);
  if (status == ReadStatus::kCapped) {
    if (text.find('\n') == std::string_view::npos) {
      status = ReadStatus::kUnreadable;
      return std::nullopt;
    }
    status = ReadStatus::kOk;
  }
  if (status != ReadStatus::kOk) return std::nullopt;
  return ParsePidStat(text);
}

ssize_t ReadExeLink(ProcessFiles& files, ReadBuffers& buffers) {
  const ssize_t n =
      ::readlinkat(files.at(), files.Name("exe"), buffers.link.data(), buffers.link.size());
  // The kernel never writes a target of kPathMax bytes or more (it reports
  // ENAMETOOLONG instead), so one that fills the buffer is not trusted.
  if (n >= 0 && static_cast<size_t>(n) >= buffers.link.size()) {
    errno = ENAMETOOLONG;
    return -1;
  }
  return n;
}

bool FallbackName(ProcessFiles& files, const PidStat* stat, ReadBuffers& buffers,
                  std::string& name) {
  ReadStatus status;
  const UniqueFd fd(::openat(files.at(), files.Name("cmdline"), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  size_t got = 0;
  if (fd.valid()) {
    status = ReadText(fd.get(), buffers.cmdline.data(), buffers.cmdline.size(), got);
  } else {
    status = StatusOfErrno(errno);
  }
  if (status == ReadStatus::kGone) return false;
  std::string_view argv0;
  if (HasText(status)) {
    const std::string_view cmdline(buffers.cmdline.data(), got);
    argv0 = Argv0(cmdline);
    // An argv[0] whose NUL is not within the buffer is kPathMax bytes or
    // more: no path, whatever it looks like.
    if (status == ReadStatus::kCapped && argv0.size() == cmdline.size()) argv0 = {};
  }
  if (!argv0.empty() && argv0.front() == '/') {
    name.assign(argv0);
  } else if (stat) {
    name.assign(stat->comm);
  } else {
    return false;
  }
  return true;
}

bool ExeStatable(int linkError) {
  return linkError != ENOENT && linkError != EACCES && linkError != ESRCH;
}

uint64_t ExeInode(ProcessFiles& files) {
  struct statx st {};
  if (::statx(files.at(), files.Name("exe"), AT_STATX_DONT_SYNC, STATX_INO, &st) != 0) return 0;
  return (st.stx_mask & STATX_INO) != 0 ? st.stx_ino : 0;
}

int64_t CountDescriptors(ProcessFiles& files, bool procfs, uid_t listerUid, DirentBuffer& dirents) {
  const char* fd = files.Name("fd");
  if (procfs) {
    struct stat st {};
    if (::fstatat(files.at(), fd, &st, 0) != 0) return 0;
    if (listerUid != static_cast<uid_t>(-1) && st.st_uid != listerUid) return 0;  // refused
    if (st.st_size > 0) return st.st_size;
  }
  const int64_t count = CountDirEntriesAt(files.at(), fd, dirents);
  return count < 0 ? 0 : count;
}

}  // namespace pelmora::platform::linux_os
