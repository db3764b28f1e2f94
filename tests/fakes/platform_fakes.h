// SPDX-License-Identifier: MIT
#pragma once
// Fakes of the platform interfaces.
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fakes/toolkit_fakes.h"
#include "platform/cpu_time_device.h"
#include "platform/free_resources.h"
#include "platform/memory_status.h"
#include "platform/process_control.h"
#include "platform/process_snapshot.h"
#include "platform/services.h"
#include "platform/single_instance.h"
#include "platform/tick_clock.h"

namespace pelmora::fakes {

class FakeTickClock : public platform::TickClock {
 public:
  int64_t GetTickCount() override { return now; }
  int64_t now = 0;
};

// A device whose record table the test writes. Requests are logged.
class FakeCpuTimeDevice : public platform::CpuTimeDevice {
 public:
  std::unique_ptr<platform::CpuTimeHandle> Open() override;

  bool opens = true;
  std::vector<int32_t> table;    // written by control code 1
  std::optional<int32_t> count;  // reported by control code 1; nullopt: nothing reported
  std::vector<uint32_t> requests;
  int openCount = 0;
  int closeCount = 0;
  std::function<void()> onReadTable;  // runs as control code 1 arrives
};

class FakeMemoryStatus : public platform::MemoryStatusSource {
 public:
  void GlobalMemoryStatus(platform::MemoryStatus& out) override {
    ++reads;
    out = status;
  }
  platform::MemoryStatus status;
  int reads = 0;
};

class FakeFreeResources : public platform::FreeResources {
 public:
  explicit FakeFreeResources(CallLog* log = nullptr) : log_(log) {}
  std::optional<int32_t> GetFreeSystemResources(int32_t selector) override;
  std::array<std::optional<int32_t>, 3> values{90, 80, 70};

 private:
  CallLog* log_;
};

// Processes the test lists. A snapshot walks the list as it stands, so a
// test changes it between event procedures, never during one.
class FakeProcessSource : public platform::ProcessSnapshotSource {
 public:
  std::unique_ptr<platform::ProcessSnapshot> CreateToolhelp32Snapshot() override;

  std::vector<platform::ProcessEntry> processes;
  std::function<void()> onSnapshot;  // runs as a snapshot is taken; may throw
  int snapshots = 0;
  int fullReads = 0;  // records read by Process32First/Next
  int pathReads = 0;  // records read by PathFirst/PathNext
};

platform::ProcessEntry Process(std::string path, int64_t pid, uint64_t startTime = 1);

class FakeProcessControl : public platform::ProcessControl {
 public:
  std::unique_ptr<platform::ProcessHandle> OpenProcess(int64_t pid, uint64_t startTime) override;
  platform::OpenRefusal LastRefusal() const override { return refusal; }

  struct Running {
    uint64_t startTime = 1;
    bool mayEnd = true;
  };
  std::map<int64_t, Running> running;  // by process ID
  std::vector<int64_t> opened;         // IDs asked for
  std::vector<int64_t> killed;
  int handles = 0;  // handles given out
  int closes = 0;
  platform::OpenRefusal refusal = platform::OpenRefusal::kNone;
};

class FakeSingleInstance : public platform::SingleInstance {
 public:
  bool PrevInstance() override { return other; }
  bool other = false;
};

// Every operating-system service as a fake, ready to hand to a Form1: an
// idle record in the CPU-time table, memory figures, two processes that
// may be ended. Each fake can be set up for a case; where a test needs a
// real service instead, it points the matching member of `use` at it
// before the bundle is handed out.
struct FakeServices {
  explicit FakeServices(CallLog* log = nullptr);
  platform::Services Services();

  // Advances the clock and the idle counter for the next tick.
  void NextSample(int64_t elapsedMs, int32_t idleDeltaMs);

  FakeSingleInstance instance;
  FakeCpuTimeDevice cpuTime;
  FakeTickClock clock;
  FakeMemoryStatus memory;
  FakeFreeResources resources;
  FakeProcessSource processes;
  FakeProcessControl processControl;
  struct {
    platform::CpuTimeDevice* cpuTime = nullptr;
    platform::TickClock* clock = nullptr;
    platform::MemoryStatusSource* memory = nullptr;
    platform::FreeResources* resources = nullptr;
    platform::ProcessSnapshotSource* processes = nullptr;
    platform::ProcessControl* processControl = nullptr;
  } use;
};

}  // namespace pelmora::fakes
