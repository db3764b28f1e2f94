// SPDX-License-Identifier: MIT
#include "platform/linux/io/process_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

namespace pelmora::platform::linux_os {

const char* ProcessFiles::Name(std::string_view file, int64_t number) {
  char* const end = name_.data() + name_.size() - 1;
  char* at = name_.data();
  if (pid_ == kSelf) {
    at = std::copy_n("self", 4, at);
  } else {
    at = std::to_chars(at, end, pid_).ptr;
  }
  *at++ = '/';
  at = std::copy_n(file.begin(), std::min(static_cast<size_t>(end - at), file.size()), at);
  if (number >= 0) at = std::to_chars(at, end, number).ptr;
  *at = '\0';
  return name_.data();
}

UniqueFd OpenStat(ProcessFiles& files, ReadStatus& status) {
  UniqueFd fd(::openat(files.root(), files.Name("stat"), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  status = fd.valid() ? ReadStatus::kOk : StatusOfErrno(errno);
  return fd;
}

std::optional<PidStat> ReadStat(int fd, bool procfs, ReadBuffers& buffers, ReadStatus& status) {
  size_t got = 0;
  status = ReadText(fd, buffers.stat.data(), buffers.stat.size(), got);
  const std::string_view text(buffers.stat.data(), got);
  if (status == ReadStatus::kCapped) {
    status = text.find('\n') == std::string_view::npos ? ReadStatus::kUnreadable : ReadStatus::kOk;
  }
  if (!procfs) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_nlink == 0) status = ReadStatus::kGone;
  }
  if (status != ReadStatus::kOk) return std::nullopt;
  return ParsePidStat(text);
}

ssize_t ReadExeLink(ProcessFiles& files, ReadBuffers& buffers) {
  const ssize_t n =
      ::readlinkat(files.root(), files.Name("exe"), buffers.link.data(), buffers.link.size());
  // The kernel never writes a target of kPathMax bytes or more (it reports
  // ENAMETOOLONG instead), so one that fills the buffer is not trusted.
  if (n >= 0 && static_cast<size_t>(n) >= buffers.link.size()) {
    errno = ENAMETOOLONG;
    return -1;
  }
  return n;
}

bool ExeStatable(int linkError) {
  return linkError != ENOENT && linkError != EACCES && linkError != ESRCH;
}

uint64_t ExeInode(ProcessFiles& files) {
  struct statx st {};
  if (::statx(files.root(), files.Name("exe"), AT_STATX_DONT_SYNC, STATX_INO, &st) != 0) return 0;
  return (st.stx_mask & STATX_INO) != 0 ? st.stx_ino : 0;
}

std::string_view ReadArgv0Path(ProcessFiles& files, ReadBuffers& buffers, ReadStatus& status) {
  const UniqueFd fd(::openat(files.root(), files.Name("cmdline"), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  size_t got = 0;
  status = fd.valid() ? ReadText(fd.get(), buffers.cmdline.data(), buffers.cmdline.size(), got)
                      : StatusOfErrno(errno);
  if (!HasText(status)) return {};
  const std::string_view cmdline(buffers.cmdline.data(), got);
  const std::string_view argv0 = Argv0(cmdline);
  // An argv[0] whose NUL is not within the buffer is kPathMax bytes or
  // more: no path, whatever it looks like.
  if (status == ReadStatus::kCapped && argv0.size() == cmdline.size()) return {};
  return !argv0.empty() && argv0.front() == '/' ? argv0 : std::string_view();
}

int64_t CountDescriptors(ProcessFiles& files, bool procfs, uid_t listerUid, DirentBuffer& dirents) {
  const char* fd = files.Name("fd");
  if (procfs) {
    struct stat st {};
    if (::fstatat(files.root(), fd, &st, 0) != 0) return 0;
    if (listerUid != static_cast<uid_t>(-1) && st.st_uid != listerUid) return 0;  // refused
    if (st.st_size > 0) return st.st_size;
  }
  const int64_t count = CountDirEntriesAt(files.root(), fd, dirents);
  return count < 0 ? 0 : count;
}

}  // namespace pelmora::platform::linux_os
