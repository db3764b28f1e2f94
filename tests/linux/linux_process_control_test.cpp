// SPDX-License-Identifier: MIT
#include "fakes/platform_fakes.h"
#include "platform/linux/io/proc_fs.h"
#include "platform/linux/control/linux_process_control.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include "platform/linux/walk/linux_process_snapshot.h"
#include "support/child_process.h"
#include "support/walk_source.h"
#include "support/scratch_dir.h"

namespace pelmora::platform::linux_os {
namespace {

using testing_support::Child;
using testing_support::ChildOptions;
using testing_support::CopyProgram;
using testing_support::ExeTarget;
using testing_support::PollUntil;
using testing_support::RunAsUser;
using testing_support::ScratchDir;

// The start time the process list recorded for pid; 0 when not listed.
uint64_t ListedStartTime(int64_t pid) {
  fakes::FakeTickClock clock;
  testing_support::WalkSource source("/proc", 0, clock);
  auto snapshot = source.CreateToolhelp32Snapshot();
  ProcessEntry entry;
  for (bool ok = snapshot->Process32First(entry); ok; ok = snapshot->Process32Next(entry)) {
    if (entry.th32ProcessID == pid) return entry.startTime;
  }
  return 0;
}

size_t OpenDescriptors() {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                           std::filesystem::directory_iterator()));
}

// True while the child has neither ended nor been reaped.
bool StillRunning(const Child& child) {
  return testing_support::ProcessState(child.pid()) != 'Z' &&
         testing_support::ProcessState(child.pid()) != 0;
}

class ProcessControlTest : public testing::Test {
 protected:
  void SetUp() override {
    program_ = dir_.Root() + "/PelmoraTest";
    CopyProgram(program_);
  }

  std::unique_ptr<Child> Start(const ChildOptions& options = {}) {
    auto child = std::make_unique<Child>(program_, options);
    EXPECT_TRUE(PollUntil([&] {
      return ExeTarget(child->pid()) == program_ && testing_support::Asleep(child->pid());
    }));
    return child;
  }

  ScratchDir dir_;
  std::string program_;
  ProcFs proc_{"/proc"};
  LinuxProcessControl control_{proc_};
};

TEST_F(ProcessControlTest, OpenedProcessIsKilled) {
  auto child = Start();
  const uint64_t started = ListedStartTime(child->pid());
  ASSERT_NE(started, 0u);
  auto handle = control_.OpenProcess(child->pid(), started);
  ASSERT_NE(handle, nullptr);
  EXPECT_TRUE(handle->TerminateProcess());
  const int status = child->Reap();
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGKILL);
}

// The start time is read below the given /proc root: a scratch tree says
// what the kernel never would about a live child. Only a readable stat of
// that very PID with that very start time gives a handle.
TEST_F(ProcessControlTest, OnlyTheSameStartTimeGivesAHandle) {
  auto child = Start();
  const std::string pid = std::to_string(child->pid());
  const auto stat = [](const std::string& owner, const std::string& starttime) {
    return owner + " (PelmoraTest) S 1 0 0 0 0 0 0 0 0 0 0 0 0 0 20 0 1 0 " + starttime + "\n";
  };
  const struct {
    const char* name;
    std::string stat;
    uint64_t asked;
    bool handle;
  } cases[] = {
      {"the same start time", stat(pid, "777"), 777, true},
      {"one tick later", stat(pid, "778"), 777, false},
      {"one tick earlier", stat(pid, "776"), 777, false},
      {"asked for 0", stat(pid, "777"), 0, false},
      {"another process's stat", stat("1", "777"), 777, false},
      {"cut before the start time", stat(pid, ""), 777, false},
      {"a start time beyond 64 bits", stat(pid, "18446744073709551616"),
       std::numeric_limits<uint64_t>::max(), false},
  };
  testing_support::ScratchDir proc;
  // The pidfd's own fdinfo is the kernel's.
  ASSERT_EQ(::symlink("/proc/self", proc.Path("self").c_str()), 0);
  ProcFs door(proc.Root());
  LinuxProcessControl control(door);
  for (const auto& c : cases) {
    proc.Write(pid + "/stat", c.stat);
    EXPECT_EQ(control.OpenProcess(child->pid(), c.asked) != nullptr, c.handle) << c.name;
  }
  proc.Remove(pid + "/stat");
  EXPECT_EQ(control.OpenProcess(child->pid(), 777), nullptr) << "no stat";
  EXPECT_TRUE(StillRunning(*child));
}

TEST_F(ProcessControlTest, NoProcessNoHandle) {
  auto child = Start();
  const pid_t pid = child->pid();
  const uint64_t started = ListedStartTime(pid);
  child->Signal(SIGKILL);
  child->Reap();
  EXPECT_EQ(control_.OpenProcess(pid, started), nullptr);
  // Never a process group, never ourselves by accident, never out of range.
  for (int64_t bad : {int64_t{0}, int64_t{-1}, int64_t{-static_cast<int64_t>(::getpid())},
                      int64_t{std::numeric_limits<int32_t>::max()} + 1,
                      std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()}) {
    EXPECT_EQ(control_.OpenProcess(bad, 0), nullptr) << bad;
  }
}

TEST_F(ProcessControlTest, HandleOutlivesTheProcessWithoutReachingAnother) {
  auto child = Start();
  auto handle = control_.OpenProcess(child->pid(), ListedStartTime(child->pid()));
  ASSERT_NE(handle, nullptr);
  child->Signal(SIGKILL);
  child->Reap();
  // The PID is free for reuse now; the handle still names the dead process.
  EXPECT_FALSE(handle->TerminateProcess());
}

TEST_F(ProcessControlTest, HandleClosesItsDescriptorOnce) {
  auto child = Start();
  const uint64_t started = ListedStartTime(child->pid());
  const size_t before = OpenDescriptors();
  {
    auto handle = control_.OpenProcess(child->pid(), started);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(OpenDescriptors(), before + 1);
    EXPECT_EQ(control_.OpenProcess(child->pid(), started + 1), nullptr);
    EXPECT_EQ(OpenDescriptors(), before + 1);  // the refused one was closed
  }
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_TRUE(StillRunning(*child));
}

// Runs `body` as PID 1 of a new user and PID namespace that still sees this
// /proc, as `unshare -Urpf` without a fresh /proc does; what it returned.
// nullopt where user namespaces are off.
std::optional<std::string> InNewPidNamespace(const std::function<std::string()>& body) {
  constexpr int kRefused = 77;
  int fds[2];
  if (::pipe(fds) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    if (::unshare(CLONE_NEWUSER | CLONE_NEWPID) != 0) ::_exit(kRefused);
    const pid_t first = ::fork();  // PID 1 of the new namespace
    if (first == 0) {
      const std::string out = body();
      (void)!::write(fds[1], out.data(), out.size());
      ::_exit(0);
    }
    int status = 0;
    ::_exit(first > 0 && ::waitpid(first, &status, 0) == first ? 0 : 1);
  }
  ::close(fds[1]);
  std::string out;
  char buffer[256];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
    out.append(buffer, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == kRefused) return std::nullopt;
  return out;
}

// There the test is PID 1 to pidfd_open(), while /proc/1 is this /proc's
// init, with its start time: the same number, another process.
TEST(ProcessControlNamespaceTest, AnotherNamespacesProcGivesNoHandle) {
  const uint64_t init_started = ListedStartTime(1);
  ASSERT_NE(init_started, 0u);
  const auto report = InNewPidNamespace([init_started] {
    if (::getpid() != 1) return std::string("not PID 1");
    ProcFs proc("/proc");
    LinuxProcessControl control(proc);
    return std::string(control.OpenProcess(1, init_started) ? "handle" : "no handle");
  });
  if (!report) GTEST_SKIP() << "user namespaces are off here";
  EXPECT_EQ(*report, "no handle");
}

TEST_F(ProcessControlTest, AnotherUsersProcessIsNotOurs) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run processes as other users";
  ChildOptions as_nobody;
  as_nobody.uid = 65534;
  auto child = Start(as_nobody);
  const pid_t pid = child->pid();
  const uint64_t started = ListedStartTime(pid);
  ASSERT_NE(started, 0u);

  // Pelmora running as an ordinary user gets no handle, and so ends nothing.
  const auto report = RunAsUser(12345, [pid, started] {
    ProcFs proc("/proc");
    LinuxProcessControl control(proc);
    auto handle = control.OpenProcess(pid, started);
    if (!handle) return std::string("no handle");
    return std::string(handle->TerminateProcess() ? "killed" : "handle, not killed");
  });
  ASSERT_TRUE(report.has_value());
  EXPECT_EQ(*report, "no handle");
  EXPECT_TRUE(StillRunning(*child));

  // The owner may end it: the refusal above was about permission only.
  const auto owner_report = RunAsUser(65534, [pid, started] {
    ProcFs proc("/proc");
    LinuxProcessControl control(proc);
    auto handle = control.OpenProcess(pid, started);
    return std::string(handle ? "handle" : "no handle");
  });
  ASSERT_TRUE(owner_report.has_value());
  EXPECT_EQ(*owner_report, "handle");
}

}  // namespace
}  // namespace pelmora::platform::linux_os
