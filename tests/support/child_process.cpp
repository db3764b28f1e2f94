// SPDX-License-Identifier: MIT
#include "support/child_process.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace pelmora::testing_support {

namespace fs = std::filesystem;

uint64_t CopyProgram(const std::string& path, const std::string& program) {
  const std::string source = !program.empty()               ? program
                             : fs::exists("/usr/bin/sleep") ? "/usr/bin/sleep"
                                                            : "/bin/sleep";
  fs::copy_file(source, path, fs::copy_options::overwrite_existing);
  ::chmod(path.c_str(), 0755);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw std::runtime_error("stat of copy failed");
  return st.st_ino;
}

Child::Child(const std::string& program, const ChildOptions& options) {
  const std::string argv0 = options.argv0.empty() ? program : options.argv0;
  // Everything the child needs is prepared before fork.
  std::array<char*, 3> argv{const_cast<char*>(argv0.c_str()), const_cast<char*>("600"), nullptr};
  char* envp[] = {nullptr};
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    const int null_fd = ::open("/dev/null", O_RDWR);
    for (int fd = 0; fd < 3; ++fd) ::dup2(null_fd, fd);
    if (options.exec_dir_fd >= 0) {
      // Kept as descriptor 3 for execveat, closed by the exec itself.
      if (options.exec_dir_fd == 3) {
        ::fcntl(3, F_SETFD, FD_CLOEXEC);
      } else {
        ::dup3(options.exec_dir_fd, 3, O_CLOEXEC);
      }
      ::close_range(4, ~0U, 0);
    } else {
      ::close_range(3, ~0U, 0);
    }
    if (options.nice != 0) {
      errno = 0;
      const int inherited = ::getpriority(PRIO_PROCESS, 0);
      if (errno == 0) ::setpriority(PRIO_PROCESS, 0, std::min(19, inherited + options.nice));
    }
    if (options.uid && (::setgid(65534) != 0 || ::setuid(*options.uid) != 0)) ::_exit(126);
    if (options.exec_dir_fd >= 0) {
      ::syscall(SYS_execveat, 3, program.c_str(), argv.data(), envp, 0);
    } else {
      ::execve(program.c_str(), argv.data(), envp);
    }
    ::_exit(127);
  }
}

Child::~Child() {
  if (!reaped_) {
    ::kill(pid_, SIGKILL);
    Reap();
  }
}

void Child::Signal(int signal) const { ::kill(pid_, signal); }

int Child::Reap() {
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  reaped_ = true;
  return status;
}

bool PollUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::string ExeTarget(pid_t pid) {
  std::error_code error;
  const auto target = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
  return error ? std::string() : target.string();
}

bool Asleep(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/syscall");
  long number = -1;
  if (!(in >> number)) return false;
#ifdef SYS_nanosleep
  if (number == SYS_nanosleep) return true;
#endif
  return number == SYS_clock_nanosleep;
}

char ProcessState(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  return (close == std::string::npos || close + 2 >= text.size()) ? 0 : text[close + 2];
}

namespace {

// Runs body in a forked child after prepare (which may fork again: the
// process that runs body is the one it returns true in), and returns what
// body wrote; nullopt when the child failed.
std::optional<std::string> RunInChild(const std::function<bool()>& prepare,
                                      const std::function<std::string()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return std::nullopt;
  const pid_t pid = ::fork();
  if (pid < 0) return std::nullopt;
  if (pid == 0) {
    ::close(fds[0]);
    if (!prepare()) ::_exit(126);
    const std::string out = body();
    size_t written = 0;
    while (written < out.size()) {
      const ssize_t n = ::write(fds[1], out.data() + written, out.size() - written);
      if (n <= 0) ::_exit(125);
      written += static_cast<size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string result;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.append(buffer, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return result;
}

}  // namespace

std::optional<std::string> RunAsUser(uid_t uid, const std::function<std::string()>& body) {
  return RunInChild([uid] { return ::setgid(65534) == 0 && ::setuid(uid) == 0; }, body);
}

std::optional<std::string> RunInOwnPidNamespace(const std::function<std::string()>& body) {
  return RunInChild(
      [] {
        if (::unshare(CLONE_NEWPID | CLONE_NEWNS) != 0) return false;
        const pid_t first = ::fork();  // PID 1 of the new namespace
        if (first < 0) return false;
        if (first > 0) {
          int status = 0;
          while (::waitpid(first, &status, 0) < 0 && errno == EINTR) {
          }
          ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 124);
        }
        return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
               ::mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) == 0;
      },
      body);
}

std::string WhyNoPidNamespace() {
  if (::geteuid() != 0) return "needs root for a PID namespace of its own";
  const auto probe = RunInOwnPidNamespace([] { return std::string(::getpid() == 1 ? "1" : ""); });
  if (!probe || *probe != "1") {
    return "no PID namespace with a /proc of its own can be made here (a container, or a root "
           "that is not a mount point)";
  }
  return {};
}

bool PidNamespaceRequired() {
  const char* required = std::getenv("PELMORA_REQUIRE_PID_NAMESPACE");
  return required && *required && std::string_view(required) != "0";
}

}  // namespace pelmora::testing_support
