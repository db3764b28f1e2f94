// SPDX-License-Identifier: MIT
#include "platform/linux/io/proc_fs.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

namespace pelmora::platform::linux_os {
namespace {

constexpr long kProcSuperMagic = 0x9fa0;
constexpr int kOpenFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY;
// A pidfd's fdinfo is a few short lines.
constexpr size_t kFdinfoCap = 4096;
// After running short, no file is held anew for this long.
constexpr uint64_t kFrozenSeconds = 30;

constexpr std::array<const char*, kSystemTexts> kSystemTextNames = {
    "stat", "meminfo", "loadavg", "sys/kernel/pid_max", "sys/kernel/threads-max", "sys/fs/file-nr"};

int OpenAtSystem(int dir, const char* name, int flags) { return ::openat(dir, name, flags); }

}  // namespace

uint64_t TicksSinceBoot() {
  timespec now{};
  ::clock_gettime(CLOCK_BOOTTIME, &now);
  const auto hz = static_cast<uint64_t>(::sysconf(_SC_CLK_TCK));
  return static_cast<uint64_t>(now.tv_sec) * hz +
         static_cast<uint64_t>(now.tv_nsec) * hz / 1000000000u;
}

std::optional<uint64_t> SoftFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return std::nullopt;
  }
  return static_cast<uint64_t>(limit.rlim_cur);
}

ProcFs::ProcFs(std::string rootPath, Options options)
    : rootPath_(std::move(rootPath)),
      options_(std::move(options)),
      reader_(options_.reader.value_or(::geteuid())),
      ticksPerSecond_(static_cast<uint64_t>(::sysconf(_SC_CLK_TCK))) {
  if (!options_.openAt) options_.openAt = OpenAtSystem;
  OpenRoot();
  TakeLimit();
}

void ProcFs::OpenRoot() {
  root_.Reset(::open(rootPath_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct statfs fs {};
  procfs_ = root_.valid() && ::fstatfs(root_.get(), &fs) == 0 && fs.f_type == kProcSuperMagic;
}

std::unique_ptr<ProcFs> ProcFs::ForThisProgram() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      limit.rlim_cur < kWantedFileLimit) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? kWantedFileLimit
                                                      : std::min<rlim_t>(kWantedFileLimit,
                                                                         limit.rlim_max);
    if (raised.rlim_cur > limit.rlim_cur) ::setrlimit(RLIMIT_NOFILE, &raised);
  }
  return std::make_unique<ProcFs>(std::string(kProcRoot));
}

void ProcFs::TakeLimit() {
  const std::optional<uint64_t> limit = options_.fileLimit();
  if (limit == limit_) return;
  const bool rose = !limit || (limit_ && *limit > *limit_);
  const bool fell = limit && (!limit_ || *limit < *limit_);
  limit_ = limit;
  ceiling_ = INT_MAX;
  if (limit) {
    const uint64_t reserve = ReserveFor(*limit);
    ceiling_ = *limit > reserve ? static_cast<int>(std::min<uint64_t>(*limit - reserve, INT_MAX))
                                : 0;
  }
  if (rose) frozenAt_.reset();
  // What is held at or above a lowered ceiling goes at once.
  if (fell && holder_) holder_->GiveBack(ceiling_, 0);
}

void ProcFs::List(Listing& listing) {
  TakeLimit();
  const uint64_t now = options_.listingClock();
  if (frozenAt_ && now >= frozenUntil_) frozenAt_.reset();
  listing.number = ++listings_;
  listing.pids.clear();
  listing.pids.reserve(listed_ + listed_ / 8 + 16);  // one allocation, as a rule
  if (!root_.valid()) OpenRoot();
  if (!root_.valid() || ::lseek(root_.get(), 0, SEEK_SET) != 0) return;
  listing.listedAt = now;
  ForEachDirEntry(root_.get(), dirents_, [&listing](std::string_view name) {
    if (const auto pid = ParsePidName(name)) listing.pids.push_back(*pid);
  });
  std::sort(listing.pids.begin(), listing.pids.end());
  listing.pids.erase(std::unique(listing.pids.begin(), listing.pids.end()), listing.pids.end());
  listed_ = listing.pids.size();
}

bool ProcFs::MayHold(int fd, size_t held) const {
  return fd >= 0 && fd < ceiling_ && held < options_.maxHeld && (!frozenAt_ || held < *frozenAt_);
}

UniqueFd ProcFs::Open(const char* name, int flags, ReadStatus& status) {
  for (bool retried = false;; retried = true) {
    UniqueFd fd(options_.openAt(root_.get(), name, flags));
    if (fd.valid()) {
      status = ReadStatus::kOk;
      return fd;
    }
    status = StatusOfErrno(errno);
    if (status != ReadStatus::kNoRoom || retried || !holder_) return fd;
    // Short of descriptors: the held files give back a reserve's worth, and
    // none is held anew for a while.
    frozenAt_ = holder_->GiveBack(INT_MAX, limit_ ? ReserveFor(*limit_) : kMinReserveFds);
    frozenUntil_ = options_.listingClock() + kFrozenSeconds * ticksPerSecond_;
  }
}

const char* ProcFs::Name(int64_t pid, std::string_view file, int64_t number) {
  char* const end = name_.data() + name_.size() - 1;
  char* at = pid > 0 ? std::to_chars(name_.data(), end, pid).ptr
                     : std::copy_n("self", 4, name_.data());
  *at++ = '/';
  at = std::copy_n(file.begin(), std::min(static_cast<size_t>(end - at), file.size()), at);
  if (number >= 0) at = std::to_chars(at, end, number).ptr;
  *at = '\0';
  return name_.data();
}

UniqueFd ProcFs::OpenStat(int64_t pid, ReadStatus& status) {
  if (pid <= 0) {
    status = ReadStatus::kGone;
    return UniqueFd();
  }
  return Open(Name(pid, "stat"), kOpenFlags, status);
}

std::optional<PidStat> ProcFs::ReadStat(int fd, ReadStatus& status) {
  size_t got = 0;
  status = ReadText(fd, stat_.data(), stat_.size(), got);
  const std::string_view text(stat_.data(), got);
  if (status == ReadStatus::kCapped) {
    status = text.find('\n') == std::string_view::npos ? ReadStatus::kUnreadable : ReadStatus::kOk;
  }
  if (!procfs_) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_nlink == 0) status = ReadStatus::kGone;
  }
  if (status != ReadStatus::kOk) return std::nullopt;
  return ParsePidStat(text);
}

std::optional<std::string_view> ProcFs::ReadExeLink(int64_t pid) {
  const ssize_t n = ::readlinkat(root_.get(), Name(pid, "exe"), link_.data(), link_.size());
  if (n < 0) return std::nullopt;
  // The kernel never writes a target of kPathMax bytes or more (it reports
  // ENAMETOOLONG instead), so one that fills the buffer is not trusted.
  if (static_cast<size_t>(n) >= link_.size()) {
    errno = ENAMETOOLONG;
    return std::nullopt;
  }
  return std::string_view(link_.data(), static_cast<size_t>(n));
}

uint64_t ProcFs::ExeInode(int64_t pid) {
  struct statx st {};
  if (::statx(root_.get(), Name(pid, "exe"), AT_STATX_DONT_SYNC, STATX_INO, &st) != 0) return 0;
  return (st.stx_mask & STATX_INO) != 0 ? st.stx_ino : 0;
}

std::string_view ProcFs::ReadArgv0Path(int64_t pid, ReadStatus& status) {
  const UniqueFd fd = Open(Name(pid, "cmdline"), kOpenFlags, status);
  size_t got = 0;
  if (fd.valid()) status = ReadText(fd.get(), cmdline_.data(), cmdline_.size(), got);
  if (!HasText(status)) return {};
  const std::string_view cmdline(cmdline_.data(), got);
  const std::string_view argv0 = Argv0(cmdline);
  // An argv[0] whose NUL is not within the buffer is kPathMax bytes or
  // more: no path, whatever it looks like.
  if (status == ReadStatus::kCapped && argv0.size() == cmdline.size()) return {};
  return !argv0.empty() && argv0.front() == '/' ? argv0 : std::string_view();
}

std::optional<int64_t> ProcFs::CountDescriptors(int64_t pid) {
  const char* fd = Name(pid, "fd");
  if (procfs_) {
    struct stat st {};
    if (::fstatat(root_.get(), fd, &st, 0) != 0) return 0;
    if (!readsAll() && st.st_uid != reader_) return 0;  // refused
    if (st.st_size > 0) return st.st_size;
  }
  ReadStatus status;
  const UniqueFd dir = Open(fd, O_RDONLY | O_DIRECTORY | O_CLOEXEC, status);
  if (!dir.valid()) return status == ReadStatus::kNoRoom ? std::nullopt : std::optional<int64_t>(0);
  int64_t count = 0;
  if (!ForEachDirEntry(dir.get(), dirents_, [&count](std::string_view) { ++count; })) return 0;
  return count;
}

std::optional<int64_t> ProcFs::PidfdPid(int pidfd) {
  ReadStatus status;
  const UniqueFd fd = Open(Name(0, "fdinfo/", pidfd), kOpenFlags, status);
  if (!fd.valid() || ReadText(fd.get(), fdinfo_, kFdinfoCap) != ReadStatus::kOk) {
    return std::nullopt;
  }
  return ParseFdinfoPid(fdinfo_);
}

ReadStatus ProcFs::ReadSystemText(SystemText which, std::string& text) {
  const auto index = static_cast<size_t>(which);
  const size_t cap = which == SystemText::kStat ? kProcStatCap : kSmallTextCap;
  // The file stays open between reads (see ReadKept).
  return ReadKept(
      kept_[index],
      [this, index](ReadStatus& status) { return Open(kSystemTextNames[index], kOpenFlags, status); },
      text, cap);
}

ReadStatus ProcFs::ReadSelfCgroup(std::string& text) {
  ReadStatus status;
  const UniqueFd fd = Open(Name(0, "cgroup"), kOpenFlags, status);
  if (!fd.valid()) {
    text.clear();
    return status;
  }
  return ReadText(fd.get(), text, kSmallTextCap);
}

}  // namespace pelmora::platform::linux_os
