// SPDX-License-Identifier: MIT
#include "platform/linux/instance/linux_single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "platform/linux/io/proc_fs.h"

namespace pelmora::platform::linux_os {
namespace {

using Clock = std::chrono::steady_clock;

// The socket file is reached through the directory's descriptor, as
// "/proc/self/fd/<fd>/<name>", so the directory checked is the one used,
// whatever happens to its path meanwhile. The name is cut to what fits with
// the longest descriptor number, so that every process cuts it alike.
constexpr std::string_view kFdPrefix = kSelfFdPath;
constexpr size_t kMaxFdDigits = 10;
constexpr size_t kSunPath = sizeof(sockaddr_un::sun_path);
constexpr size_t kMaxFileName = kSunPath - 1 - kFdPrefix.size() - kMaxFdDigits - 1;
constexpr size_t kMaxAbstractName = kSunPath - 1;  // after the leading NUL

// Another start holds the directory's lock for a few system calls. Anyone
// who may open the directory may lock it too, so the wait is bounded: past
// it the check runs unlocked.
constexpr auto kLockWait = std::chrono::seconds(2);
// A start that has bound the abstract name listens on it a moment later.
constexpr auto kListenWait = std::chrono::milliseconds(100);
constexpr auto kPollStep = std::chrono::milliseconds(5);

struct Address {
  sockaddr_un un{};
  socklen_t length = 0;
  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&un); }
};

Address AbstractAddress(const std::string& name) {
  Address address;
  address.un.sun_family = AF_UNIX;
  address.un.sun_path[0] = '\0';  // abstract namespace: no file
  std::copy(name.begin(), name.end(), address.un.sun_path + 1);
  address.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  return address;
}

Address FileAddress(int dir_fd, const std::string& name) {
  const std::string path = std::string(kFdPrefix) + std::to_string(dir_fd) + "/" + name;
  Address address;
  address.un.sun_family = AF_UNIX;
  std::copy(path.begin(), path.end(), address.un.sun_path);  // fits, NUL included
  address.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
  return address;
}

UniqueFd UnixSocket(int flags) {
  return UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0));
}

// A socket bound to address and listening; invalid with `error` set when
// either fails.
UniqueFd Listen(const Address& address, int& error) {
  UniqueFd fd = UnixSocket(0);
  if (fd.valid() && ::bind(fd.get(), address.get(), address.length) == 0 &&
      ::listen(fd.get(), SOMAXCONN) == 0) {
    return fd;
  }
  error = errno;
  return UniqueFd();
}

enum class Holder {
  kNone,       // no socket, a file whose socket is gone, or bound but not listening
  kUnchecked,  // the check itself failed (no descriptor left, no memory, ...)
  kUnknown,    // listening, but its queue is full, so the owner is not known
  kThisUser,   // listening, as this user
  kOtherUser,  // listening, as someone else
};

// Who listens at address. Nobody accepts the connection: the kernel makes
// it, and it carries the credentials the holder had when it began to listen.
// Only a refusal, or no socket there at all, tells that nobody listens.
Holder Connect(const Address& address) {
  UniqueFd fd = UnixSocket(SOCK_NONBLOCK);
  if (!fd.valid()) return Holder::kUnchecked;
  if (::connect(fd.get(), address.get(), address.length) != 0) {
    switch (errno) {
      case ECONNREFUSED:
      case ENOENT:
        return Holder::kNone;
      case EAGAIN:
        return Holder::kUnknown;
      default:
        return Holder::kUnchecked;
    }
  }
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return Holder::kUnknown;
  return peer.uid == ::geteuid() ? Holder::kThisUser : Holder::kOtherUser;
}

// Whether a process of this user listens at the abstract address, which is
// bound already. A holder that does not listen yet may be another start in
// the middle of this check; it is given a moment.
bool HeldByThisUser(const Address& address) {
  const auto deadline = Clock::now() + kListenWait;
  for (;;) {
    const Holder holder = Connect(address);
    if (holder != Holder::kNone) return holder == Holder::kThisUser;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollStep);
  }
}

// The runtime directory, when only this user may write to it: a directory
// owned by this user, with no write permission for group or others (an ACL
// that lets another user write shows in the group bits). Everything is
// checked on the opened directory, which is then used through its
// descriptor.
UniqueFd OpenPrivateDirectory(const std::string& path) {
  if (path.empty() || path.front() != '/') return {};
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat st {};
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0) return {};
  if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return {};
  }
  return fd;
}

// flock() on the directory while it is held, or nothing when it cannot be
// had in time.
class DirectoryLock {
 public:
  explicit DirectoryLock(int dir_fd) {
    if (dir_fd < 0) return;
    const auto deadline = Clock::now() + kLockWait;
    while (::flock(dir_fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK || Clock::now() >= deadline) return;
      std::this_thread::sleep_for(kPollStep);
    }
    fd_ = dir_fd;
  }
  ~DirectoryLock() {
    if (fd_ >= 0) ::flock(fd_, LOCK_UN);
  }
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;

 private:
  int fd_ = -1;
};

bool IsSocket(int dir_fd, const std::string& name, struct stat& st) {
  return ::fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISSOCK(st.st_mode);
}

}  // namespace

std::string DefaultInstanceName() { return "pelmora-" + std::to_string(::geteuid()); }

std::string DefaultRuntimeDirectory() {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  return dir ? dir : "";
}

LinuxSingleInstance::LinuxSingleInstance(std::string name, std::string runtime_dir)
    : abstract_name_(name.substr(0, kMaxAbstractName)),
      file_name_(name.substr(0, kMaxFileName)),
      runtime_dir_(std::move(runtime_dir)) {}

LinuxSingleInstance::~LinuxSingleInstance() {
  if (!file_socket_.valid()) return;
  // Only the file this instance made: had it been replaced, it would be
  // another instance's.
  DirectoryLock lock(dir_.get());
  struct stat st {};
  if (IsSocket(dir_.get(), file_name_, st) && st.st_dev == file_device_ &&
      st.st_ino == file_inode_) {
    ::unlinkat(dir_.get(), file_name_.c_str(), 0);
  }
}

bool LinuxSingleInstance::PrevInstance() {
  if (!decided_) {
    decided_ = true;
    previous_ = Decide();
  }
  return previous_;
}

bool LinuxSingleInstance::Decide() {
  dir_ = OpenPrivateDirectory(runtime_dir_);
  DirectoryLock lock(dir_.get());
  Address file_address;
  bool file_unused = false;
  if (dir_.valid()) {
    file_address = FileAddress(dir_.get(), file_name_);
    // Only this user (or root) can have made a socket here.
    const Holder holder = Connect(file_address);
    if (holder != Holder::kNone && holder != Holder::kUnchecked) return true;
    file_unused = holder == Holder::kNone;
  }

  const Address abstract_address = AbstractAddress(abstract_name_);
  int error = 0;
  abstract_socket_ = Listen(abstract_address, error);
  if (!abstract_socket_.valid() && error == EADDRINUSE && HeldByThisUser(abstract_address)) {
    return true;
  }

  // A file that could not be checked may be a live instance's: it is left
  // alone, and the abstract name alone decided.
  if (file_unused) {
    // Nothing listens at the file: a killed instance left it, or there is none.
    struct stat st {};
    if (IsSocket(dir_.get(), file_name_, st)) ::unlinkat(dir_.get(), file_name_.c_str(), 0);
    file_socket_ = Listen(file_address, error);
    if (file_socket_.valid() && IsSocket(dir_.get(), file_name_, st)) {
      file_device_ = st.st_dev;
      file_inode_ = st.st_ino;
    }
  }
  return false;
}

}  // namespace pelmora::platform::linux_os
