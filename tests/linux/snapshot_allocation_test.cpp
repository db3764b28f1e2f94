// SPDX-License-Identifier: MIT
// The walks run at every tick: once warmed up they may allocate the snapshot
// object and its listing, and nothing per process. Counted by replacing the global
// allocation functions of this test program.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "fakes/platform_fakes.h"
#include "platform/linux/walk/linux_process_snapshot.h"
#include "support/fake_proc.h"
#include "support/walk_source.h"

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
// The forms that return null rather than throw, replaced with the rest: left
// to the sanitizer's runtime, their blocks would reach the free above.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace pelmora::platform::linux_os {
namespace {

using testing_support::kKernelFlags;
using testing_support::kUserFlags;

// One round: a snapshot walked by path or in full; the allocations made.
template <typename Walk>
long Allocations(LinuxProcessSnapshotSource& source, Walk&& walk) {
  const long before = allocations.load();
  walk(*source.CreateToolhelp32Snapshot());
  return allocations.load() - before;
}

class SnapshotAllocationTest : public testing::Test {
 protected:
  void SetUp() override {
    // Sixty processes: links, fallbacks to argv[0] and to the name, kernel threads.
    for (int pid = 1; pid <= 60; ++pid) {
      const std::string name = std::to_string(pid);
      proc_.Fds(name, 0);
      proc_.Write(name, "stat",
                  testing_support::StatLine(pid, "proc " + name, pid % 4 == 3 ? kKernelFlags : kUserFlags));
      if (pid % 4 == 0) proc_.Link(name, "/usr/lib/program-" + std::string(pid * 3, 'p'));
      if (pid % 4 == 1) {
        proc_.Write(name, "cmdline", "/opt/fallback-" + std::string(pid * 5, 'q') + '\0' + "arg");
      }
      if (pid % 4 == 2) proc_.Write(name, "cmdline", std::string("relative\0", 9));
    }
  }

  testing_support::FakeProc proc_;
  fakes::FakeTickClock clock_;
  testing_support::WalkSource source_{proc_.Root(), 4096, clock_};
};

// Once warmed up, a walk may allocate the snapshot and its listing, and
// nothing per process.
TEST_F(SnapshotAllocationTest, WarmWalksAllocateNothingPerProcess) {
  size_t walked = 0;
  base::SharedText path;
  const auto checkInPlace = [&path, &walked](ProcessSnapshot& s) {
    walked = 0;
    for (bool ok = s.PathFirst(path); ok; ok = s.PathNext(path)) ++walked;
  };
  ProcessEntry entry;
  const auto rebuild = [&entry, &walked](ProcessSnapshot& s) {
    walked = 0;
    for (bool ok = s.Process32First(entry); ok; ok = s.Process32Next(entry)) ++walked;
  };
  Allocations(source_, checkInPlace);  // the path and the row grow to their longest
  EXPECT_EQ(walked, 45u);
  Allocations(source_, rebuild);
  for (int round = 0; round < 2; ++round) {
    EXPECT_LE(Allocations(source_, checkInPlace), 2) << "check, round " << round;
    EXPECT_EQ(walked, 45u);
    EXPECT_LE(Allocations(source_, rebuild), 2) << "rebuild, round " << round;
    EXPECT_EQ(walked, 45u);
  }
}

}  // namespace
}  // namespace pelmora::platform::linux_os
