// SPDX-License-Identifier: MIT
// The path-only walk runs on every tick: once warmed up it may allocate the
// snapshot object and nothing per process. Counted by replacing the global
// allocation functions of this test program.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "platform/linux/walk/linux_process_snapshot.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace pelmora::platform::linux_os {
namespace {

namespace fs = std::filesystem;

std::string Stat(int pid, const char* flags) {
  return std::to_string(pid) + " (proc " + std::to_string(pid) + ") S 1 1 1 0 -1 " + flags +
         " 0 0 0 0 0 0 0 0 20 0 1 0 100 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 17 0 0 0 0 0 0 0 0 4096 0 0 "
         "0 0 0\n";
}

class SnapshotAllocationTest : public testing::Test {
 protected:
  void SetUp() override {
    // Sixty processes: links, fallbacks to argv[0] and to the name, kernel threads.
    for (int pid = 1; pid <= 60; ++pid) {
      const std::string dir = root_ + "/" + std::to_string(pid);
      fs::create_directories(dir + "/fd");
      std::ofstream(dir + "/stat") << Stat(pid, pid % 4 == 3 ? "2129984" : "4194560");
      switch (pid % 4) {
        case 0:
          fs::create_symlink("/usr/lib/program-" + std::string(pid * 3, 'p'), dir + "/exe");
          break;
        case 1:
          std::ofstream(dir + "/cmdline", std::ios::binary)
              << "/opt/fallback-" << std::string(pid * 5, 'q') << '\0' << "arg" << '\0';
          break;
        case 2:
          std::ofstream(dir + "/cmdline", std::ios::binary) << "relative" << '\0';
          break;
        default:
          break;  // kernel thread
      }
    }
  }

  testing_support::ScratchDir dir_;
  std::string root_ = dir_.Root() + "/proc";
};

TEST_F(SnapshotAllocationTest, WarmPathWalkAllocatesNothingPerProcess) {
  LinuxProcessSnapshotSource source(root_);
  std::string path;
  int walked = 0;
  for (int round = 0; round < 3; ++round) {
    const long before = allocations.load();
    {
      auto snapshot = source.CreateToolhelp32Snapshot();
      walked = 0;
      for (bool ok = snapshot->PathFirst(path); ok; ok = snapshot->PathNext(path)) ++walked;
    }
    const long made = allocations.load() - before;
    if (round > 0) {
      EXPECT_LE(made, 1) << "round " << round;  // the snapshot object itself
    }
  }
  EXPECT_EQ(walked, 45);
}

TEST_F(SnapshotAllocationTest, WarmFullWalkAllocatesNothingPerProcess) {
  LinuxProcessSnapshotSource source(root_);
  ProcessEntry entry;
  int walked = 0;
  for (int round = 0; round < 3; ++round) {
    const long before = allocations.load();
    {
      auto snapshot = source.CreateToolhelp32Snapshot();
      walked = 0;
      for (bool ok = snapshot->Process32First(entry); ok; ok = snapshot->Process32Next(entry)) {
        ++walked;
      }
    }
    const long made = allocations.load() - before;
    if (round > 0) {
      EXPECT_LE(made, 1) << "round " << round;
    }
  }
  EXPECT_EQ(walked, 45);
}

}  // namespace
}  // namespace pelmora::platform::linux_os
