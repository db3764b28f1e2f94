// SPDX-License-Identifier: MIT
#include "platform/linux/walk/linux_process_snapshot.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/parsers/proc_pid_parsers.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"

namespace pelmora::platform::linux_os {
namespace {

using testing_support::Child;
using testing_support::ChildOptions;
using testing_support::CopyProgram;
using testing_support::ExeTarget;
using testing_support::PollUntil;
using testing_support::ProcessState;
using testing_support::ScratchDir;

std::vector<ProcessEntry> FullWalk(ProcessSnapshot& snapshot) {
  std::vector<ProcessEntry> entries;
  ProcessEntry entry;
  for (bool ok = snapshot.Process32First(entry); ok; ok = snapshot.Process32Next(entry)) {
    entries.push_back(entry);
  }
  return entries;
}

std::vector<std::string> PathWalk(ProcessSnapshot& snapshot) {
  std::vector<std::string> paths;
  std::string path;
  for (bool ok = snapshot.PathFirst(path); ok; ok = snapshot.PathNext(path)) {
    paths.push_back(path);
  }
  return paths;
}

std::optional<ProcessEntry> Find(const std::vector<ProcessEntry>& entries, int64_t pid) {
  for (const auto& e : entries) {
    if (e.th32ProcessID == pid) return e;
  }
  return std::nullopt;
}

// Waits until the child runs the given executable and sleeps in it.
bool StartedAs(const Child& child, const std::string& exe) {
  return PollUntil(
      [&] { return ExeTarget(child.pid()) == exe && testing_support::Asleep(child.pid()); });
}

class RealSnapshotTest : public testing::Test {
 protected:
  void SetUp() override {
    program_ = dir_.Root() + "/PelmoraTest";
    inode_ = CopyProgram(program_);
  }

  ScratchDir dir_;
  std::string program_;
  uint64_t inode_ = 0;
  LinuxProcessSnapshotSource source_;
};

TEST_F(RealSnapshotTest, ChildrenOfOneExecutable) {
  Child first(program_);
  ChildOptions nicer;
  nicer.nice = 5;
  Child second(program_, nicer);
  ASSERT_TRUE(StartedAs(first, program_));
  ASSERT_TRUE(StartedAs(second, program_));

  // A second thread of this process, parked until the walk is done.
  std::mutex mutex;
  std::condition_variable cv;
  bool release = false;
  std::thread parked([&] {
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return release; });
  });
  auto snapshot = source_.CreateToolhelp32Snapshot();
  const auto entries = FullWalk(*snapshot);
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  cv.notify_one();
  parked.join();

  for (const Child* child : {&first, &second}) {
    const auto e = Find(entries, child->pid());
    ASSERT_TRUE(e.has_value()) << child->pid();
    EXPECT_EQ(e->szExeFile, program_);
    EXPECT_EQ(e->th32ParentProcessID, ::getpid());
    EXPECT_EQ(e->cntThreads, 1);
    EXPECT_EQ(e->cntUsage, 3);  // stdin, stdout and stderr only
    EXPECT_EQ(e->th32ModuleID, inode_);
    EXPECT_NE(e->th32DefaultHeapID, 0u);
  }
  EXPECT_EQ(Find(entries, first.pid())->pcPriClassBase + 5,
            Find(entries, second.pid())->pcPriClassBase);

  const auto self = Find(entries, ::getpid());
  ASSERT_TRUE(self.has_value());
  EXPECT_EQ(self->cntThreads, 2);
  EXPECT_LE(self->startTime, Find(entries, first.pid())->startTime);
  EXPECT_LE(Find(entries, first.pid())->startTime, Find(entries, second.pid())->startTime);

  for (size_t i = 1; i < entries.size(); ++i) {
    EXPECT_LT(entries[i - 1].th32ProcessID, entries[i].th32ProcessID);
  }
  // Kernel threads (kthreadd and its children) are left out.
  int kernel_threads = 0;
  for (const auto& dir : std::filesystem::directory_iterator("/proc")) {
    if (!ParsePidName(dir.path().filename().string())) continue;
    std::ifstream in(dir.path() / "stat");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto stat = ParsePidStat(text);
    if (stat && stat->IsKernelThread()) {
      ++kernel_threads;
      EXPECT_FALSE(Find(entries, stat->pid).has_value()) << stat->comm;
    }
  }
  RecordProperty("kernel_threads", kernel_threads);

  // The path-only walk of the same snapshot finds the same two.
  const auto paths = PathWalk(*snapshot);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), program_), 2);
}

TEST_F(RealSnapshotTest, ChildThatEndsAfterTheListingIsSkipped) {
  Child leaving(program_);
  Child staying(program_);
  ASSERT_TRUE(StartedAs(leaving, program_));
  ASSERT_TRUE(StartedAs(staying, program_));
  auto full = source_.CreateToolhelp32Snapshot();
  LinuxProcessSnapshotSource other_source;
  auto paths = other_source.CreateToolhelp32Snapshot();
  // Both PIDs are listed now; the process goes before it is read.
  leaving.Signal(SIGKILL);
  leaving.Reap();

  const auto entries = FullWalk(*full);
  EXPECT_FALSE(Find(entries, leaving.pid()).has_value());
  EXPECT_TRUE(Find(entries, staying.pid()).has_value());
  const auto walked = PathWalk(*paths);
  EXPECT_EQ(std::count(walked.begin(), walked.end(), program_), 1);
}

TEST_F(RealSnapshotTest, ZombieKeepsItsCommandName) {
  // A name of its own: other tests running beside this one start programs
  // whose command name is PelmoraTest.
  const std::string program = dir_.Root() + "/PelmoraZombie";
  CopyProgram(program);
  Child zombie(program);
  ASSERT_TRUE(StartedAs(zombie, program));
  zombie.Signal(SIGKILL);
  ASSERT_TRUE(PollUntil([&] { return ProcessState(zombie.pid()) == 'Z'; }));

  auto snapshot = source_.CreateToolhelp32Snapshot();
  const auto e = Find(FullWalk(*snapshot), zombie.pid());
  ASSERT_TRUE(e.has_value());
  // No executable and an empty command line: the name from stat.
  EXPECT_EQ(e->szExeFile, "PelmoraZombie");
  EXPECT_EQ(e->th32ModuleID, 0u);
  EXPECT_EQ(e->th32ParentProcessID, ::getpid());
  const auto paths = PathWalk(*snapshot);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "PelmoraZombie"), 1);
}

TEST_F(RealSnapshotTest, DeletedExecutableKeepsTheKernelsMark) {
  Child child(program_);
  ASSERT_TRUE(StartedAs(child, program_));
  ASSERT_EQ(::unlink(program_.c_str()), 0);

  auto snapshot = source_.CreateToolhelp32Snapshot();
  const auto e = Find(FullWalk(*snapshot), child.pid());
  ASSERT_TRUE(e.has_value());
  EXPECT_EQ(e->szExeFile, program_ + " (deleted)");
  EXPECT_EQ(e->th32ModuleID, inode_);
  const auto paths = PathWalk(*snapshot);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), program_ + " (deleted)"), 1);
}

// A directory chain deeper than the kernel can name in a link (4095 bytes).
class LongPathTest : public RealSnapshotTest {
 protected:
  void SetUp() override {
    RealSnapshotTest::SetUp();
    const std::string part(200, 'd');
    deep_ = dir_.Root();
    int fd = ::open(dir_.Root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (deep_.size() < 4300) {
      ASSERT_EQ(::mkdirat(fd, part.c_str(), 0755), 0);
      const int next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      ::close(fd);
      fd = next;
      deep_ += "/" + part;
    }
    deep_fd_ = fd;
    // Copy the program into the deep directory through its descriptor.
    const int in = ::open(program_.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::openat(deep_fd_, "PelmoraTest", O_WRONLY | O_CREAT | O_CLOEXEC, 0755);
    char buffer[65536];
    for (ssize_t n; (n = ::read(in, buffer, sizeof buffer)) > 0;) {
      ASSERT_EQ(::write(out, buffer, static_cast<size_t>(n)), n);
    }
    ::close(in);
    ::close(out);
    struct stat st {};
    ASSERT_EQ(::fstatat(deep_fd_, "PelmoraTest", &st, 0), 0);
    deep_inode_ = st.st_ino;
  }
  void TearDown() override { ::close(deep_fd_); }

  std::string deep_;
  int deep_fd_ = -1;
  uint64_t deep_inode_ = 0;
};

TEST_F(LongPathTest, PathBeyondTheLinkLimitComesFromTheCommandLineUpToPathMax) {
  const std::string full = deep_ + "/PelmoraTest";
  ASSERT_GT(full.size(), 4096u);
  // The longest argv[0] that is a path: 4095 bytes and its NUL. One of
  // PATH_MAX bytes or more is no path, whatever it looks like.
  const std::string longest = "/" + std::string(4094, 'p');
  ChildOptions options;
  options.exec_dir_fd = deep_fd_;
  options.argv0 = full;
  Child beyond("PelmoraTest", options);
  options.argv0 = longest;
  Child absolute("PelmoraTest", options);
  options.argv0 = "PelmoraTest";
  Child relative("PelmoraTest", options);
  for (const Child* child : {&beyond, &absolute, &relative}) {
    ASSERT_TRUE(PollUntil([&] {
      const auto e = Find(FullWalk(*source_.CreateToolhelp32Snapshot()), child->pid());
      return e && e->th32ModuleID == deep_inode_;
    }));
  }

  auto snapshot = source_.CreateToolhelp32Snapshot();
  const auto paths = PathWalk(*snapshot);
  const auto entries = FullWalk(*snapshot);
  EXPECT_EQ(Find(entries, beyond.pid())->szExeFile, "PelmoraTest");
  EXPECT_EQ(Find(entries, absolute.pid())->szExeFile, longest);
  EXPECT_EQ(Find(entries, relative.pid())->szExeFile, "PelmoraTest");
  EXPECT_EQ(std::count(paths.begin(), paths.end(), longest), 1);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "PelmoraTest"), 2);
}

TEST_F(RealSnapshotTest, AnotherUsersProcessSeenWithoutPrivilege) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to switch users";
  Child child(program_);
  ASSERT_TRUE(StartedAs(child, program_));
  const pid_t pid = child.pid();
  // Walk as an ordinary user: the root-owned child's exe link, heap and
  // module are out of reach, its command line is not.
  const auto report = testing_support::RunAsUser(12345, [pid] {
    LinuxProcessSnapshotSource source;
    const auto entries = FullWalk(*source.CreateToolhelp32Snapshot());
    const auto e = Find(entries, pid);
    if (!e) return std::string("missing");
    return e->szExeFile + "|" + std::to_string(e->th32ModuleID) + "|" +
           std::to_string(e->th32DefaultHeapID) + "|" + std::to_string(e->cntUsage) + "|" +
           std::to_string(e->th32ParentProcessID);
  });
  ASSERT_TRUE(report.has_value());
  EXPECT_EQ(*report, program_ + "|0|0|0|" + std::to_string(::getpid()));
}

}  // namespace
}  // namespace pelmora::platform::linux_os
