// SPDX-License-Identifier: MIT
// A program run from a FUSE mount whose server has stopped answering, as an
// NFS or sshfs mount does once its server is gone and its attribute cache
// has expired: the walk of /proc must neither wait for that server nor lose
// the program's inode.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fakes/platform_fakes.h"
#include "platform/linux/walk/linux_process_snapshot.h"
#include "support/child_process.h"
#include "support/walk_source.h"
#include "support/scratch_dir.h"

extern char** environ;

namespace pelmora::platform::linux_os {
namespace {

using testing_support::Child;
using testing_support::PollUntil;
using testing_support::ScratchDir;

// Runs a program found on PATH; its PID, or -1.
pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  return ::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

int Run(const std::vector<std::string>& args) {
  const pid_t pid = Spawn(args);
  int status = -1;
  if (pid > 0) ::waitpid(pid, &status, 0);
  return status;
}

bool OnPath(const char* program) {
  return Run({"sh", "-c", std::string("command -v ") + program + " >/dev/null"}) == 0;
}

std::optional<dev_t> DeviceOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return st.st_dev;
}

// Why a FUSE mount cannot be made here, or empty when it can.
std::string WhyNoFuse() {
  if (!OnPath("bindfs")) return "bindfs is not installed (scripts/setup.sh --test)";
  if (::access("/dev/fuse", R_OK | W_OK) != 0) return "/dev/fuse cannot be opened by this user";
  if (::geteuid() != 0 && !OnPath("fusermount3")) return "not root and no fusermount3";
  return {};
}

// bindfs in the foreground over `source`, seen at `target`, asking its
// server for every attribute and every name afresh. The mount goes, the
// server is continued and reaped when the object goes, whatever happened.
class DeadableMount {
 public:
  DeadableMount(const std::string& source, std::string target) : target_(std::move(target)) {
    const auto before = DeviceOf(target_);
    server_ = Spawn({"bindfs", "-f", "-o", "attr_timeout=0,entry_timeout=0,negative_timeout=0",
                     source, target_});
    if (server_ <= 0) return;
    PollUntil([&] {
      const auto now = DeviceOf(target_);
      return (now && now != before) || Ended();
    });
    mounted_ = !ended_ && DeviceOf(target_) != before;
  }
  ~DeadableMount() {
    if (server_ <= 0) return;
    Continue();
    if (mounted_) {
      if (::geteuid() == 0) {
        ::umount2(target_.c_str(), MNT_DETACH);
      } else {
        Run({"fusermount3", "-uz", target_});
      }
    }
    if (!PollUntil([&] { return Ended(); })) {
      ::kill(server_, SIGKILL);
      ::waitpid(server_, nullptr, 0);
    }
  }
  DeadableMount(const DeadableMount&) = delete;
  DeadableMount& operator=(const DeadableMount&) = delete;

  bool mounted() const { return mounted_; }
  void Stop() const {
    if (!ended_) ::kill(server_, SIGSTOP);
  }
  void Continue() const {
    if (!ended_) ::kill(server_, SIGCONT);
  }

 private:
  bool Ended() {
    if (!ended_) ended_ = ::waitpid(server_, nullptr, WNOHANG) == server_;
    return ended_;
  }

  std::string target_;
  pid_t server_ = -1;
  bool mounted_ = false;
  bool ended_ = false;
};

// What a walk found of one process, filled in on the walking thread.
struct WalkResult {
  std::mutex mutex;
  std::condition_variable changed;
  bool done = false;
  bool listed = false;
  uint64_t module = 0;
  bool pathsDone = false;
};

TEST(DeadMountTest, WalkNeitherWaitsForAStoppedServerNorLosesTheInode) {
  const std::string why = WhyNoFuse();
  if (!why.empty()) GTEST_SKIP() << why;
  ScratchDir scratch;
  std::filesystem::create_directories(scratch.Path("source"));
  std::filesystem::create_directories(scratch.Path("mount"));
  testing_support::CopyProgram(scratch.Path("source/sleeper"));

  auto result = std::make_shared<WalkResult>();
  std::thread walker;
  {
    DeadableMount mount(scratch.Path("source"), scratch.Path("mount"));
    if (!mount.mounted())
      GTEST_SKIP() << "bindfs could not mount here (no FUSE in this container?)";
    const std::string program = scratch.Path("mount/sleeper");
    struct stat st {};
    ASSERT_EQ(::stat(program.c_str(), &st), 0);
    const uint64_t inode = st.st_ino;
    ASSERT_NE(inode, 0u);

    Child child(program);
    ASSERT_TRUE(PollUntil([&] { return testing_support::Asleep(child.pid()); }));
    // Continued first on the way out, before the child is killed and the
    // mount goes.
    struct Resume {
      const DeadableMount& mount;
      ~Resume() { mount.Continue(); }
    } resume{mount};
    mount.Stop();

    // A fresh source: nothing it remembers spares it the read.
    const int64_t pid = child.pid();
    walker = std::thread([result, pid] {
      fakes::FakeTickClock clock;
      testing_support::WalkSource source("/proc", 0, clock);
      auto snapshot = source.CreateToolhelp32Snapshot();
      ProcessEntry entry;
      bool listed = false;
      uint64_t module = 0;
      for (bool ok = snapshot->Process32First(entry); ok; ok = snapshot->Process32Next(entry)) {
        if (entry.th32ProcessID == pid) {
          listed = true;
          module = entry.th32ModuleID;
        }
      }
      {
        std::lock_guard lock(result->mutex);
        result->done = true;
        result->listed = listed;
        result->module = module;
      }
      result->changed.notify_all();
      auto paths = source.CreateToolhelp32Snapshot();
      base::SharedText path;
      for (bool ok = paths->PathFirst(path); ok; ok = paths->PathNext(path)) {
      }
      {
        std::lock_guard lock(result->mutex);
        result->pathsDone = true;
      }
      result->changed.notify_all();
    });

    std::unique_lock lock(result->mutex);
    const bool finished =
        result->changed.wait_for(lock, std::chrono::seconds(10), [&] { return result->pathsDone; });
    EXPECT_TRUE(result->done) << "the walk waited for the stopped server";
    EXPECT_TRUE(finished) << "the path-only walk waited for the stopped server";
    if (result->done) {
      EXPECT_TRUE(result->listed);
      EXPECT_EQ(result->module, inode);
    }
    // The server continues and the mount goes before the walker is joined:
    // a walk stuck on the server is freed by that.
  }
  if (walker.joinable()) walker.join();
}

}  // namespace
}  // namespace pelmora::platform::linux_os
