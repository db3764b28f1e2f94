// SPDX-License-Identifier: MIT
#pragma once
// Real child processes for the tests that watch them through /proc.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pelmora::testing_support {

// Copies a program to `path` (mode 0755), to run it as a child under a
// name of the test's choosing; the copy's inode. The system's sleep by
// default: it waits quietly for as long as it is told.
uint64_t CopyProgram(const std::string& path, const std::string& program = "");

struct ChildOptions {
  std::optional<uid_t> uid;  // run as this user (the tests run as root)
  int nice = 0;  // added to the niceness the child inherits, up to 19
  // argv[0]; the executable's path when empty.
  std::string argv0;
  // When set, `program` is a name relative to this directory descriptor.
  int exec_dir_fd = -1;
};

// A child that runs `program 600` with /dev/null as stdin, stdout and stderr
// and no other open descriptor. Killed and reaped when destroyed unless the
// test reaped it.
class Child {
 public:
  Child(const std::string& program, const ChildOptions& options = {});
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  // Sends a signal; the child stays unreaped (a zombie once it ends).
  void Signal(int signal) const;
  // Waits for the child's end and returns its wait status.
  int Reap();
  bool reaped() const { return reaped_; }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

// Polls until `done` is true, for at most `limit`. True when it became true.
bool PollUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(5));

// The target of /proc/PID/exe, empty when it cannot be read.
std::string ExeTarget(pid_t pid);
// True once the process waits in its sleep system call, its start-up done.
bool Asleep(pid_t pid);
// The state letter of /proc/PID/stat, 0 when it cannot be read.
char ProcessState(pid_t pid);

// Runs `body` in a forked child that first switches to `uid`, and returns
// what the body wrote to its output string (nullopt if the child failed).
std::optional<std::string> RunAsUser(uid_t uid, const std::function<std::string()>& body);
// The same in a PID namespace of the child's own, with a /proc of its own
// mounted: the body sees only the processes it starts (root only; nullopt
// where namespaces cannot be made).
std::optional<std::string> RunInOwnPidNamespace(const std::function<std::string()>& body);
// Empty where RunInOwnPidNamespace can run a body here; else why it cannot
// (no root, no namespaces, or a root that is not a mount point), for a skip.
std::string WhyNoPidNamespace();
// True where PELMORA_REQUIRE_PID_NAMESPACE is set (CI, on machines that can
// make one): a test that needs a PID namespace then fails instead of
// skipping, so that a machine that has lost the means does not pass quietly.
bool PidNamespaceRequired();

}  // namespace pelmora::testing_support
