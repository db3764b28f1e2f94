// SPDX-License-Identifier: MIT
#include "fakes/platform_fakes.h"

#include <algorithm>

namespace pelmora::fakes {

namespace {

class FakeCpuTimeHandle : public platform::CpuTimeHandle {
 public:
  explicit FakeCpuTimeHandle(FakeCpuTimeDevice& device) : device_(device) {}
  ~FakeCpuTimeHandle() override { ++device_.closeCount; }
  bool DeviceIoControl(uint32_t code, std::span<int32_t> out, int32_t& bytesReturned) override {
    device_.requests.push_back(code);
    if (code != platform::kCpuTimeReadTable) return true;
    if (device_.onReadTable) device_.onReadTable();
    const size_t words = std::min(out.size(), device_.table.size());
    std::copy_n(device_.table.begin(), words, out.begin());
    if (device_.count) bytesReturned = *device_.count;
    return true;
  }

 private:
  FakeCpuTimeDevice& device_;
};

class FakeSnapshot : public platform::ProcessSnapshot {
 public:
  explicit FakeSnapshot(FakeProcessSource& source) : source_(source), list_(source.processes) {}
  bool Process32First(platform::ProcessEntry& entry) override {
    next_ = 0;
    return Process32Next(entry);
  }
  bool Process32Next(platform::ProcessEntry& entry) override {
    if (next_ >= list_.size()) return false;
    ++source_.fullReads;
    entry = list_[next_++];
    return true;
  }
  bool PathFirst(base::SharedText& path) override {
    next_ = 0;
    return PathNext(path);
  }
  bool PathNext(base::SharedText& path) override {
    if (next_ >= list_.size()) return false;
    ++source_.pathReads;
    path = list_[next_++].szExeFile;
    return true;
  }
  bool RowsOutdated() override { return false; }

 private:
  FakeProcessSource& source_;
  const std::vector<platform::ProcessEntry>& list_;
  size_t next_ = 0;
};

class FakeProcessHandle : public platform::ProcessHandle {
 public:
  FakeProcessHandle(FakeProcessControl& control, int64_t pid) : control_(control), pid_(pid) {}
  ~FakeProcessHandle() override { ++control_.closes; }
  bool TerminateProcess() override {
    auto it = control_.running.find(pid_);
    if (it == control_.running.end()) return false;
    control_.killed.push_back(pid_);
    control_.running.erase(it);
    return true;
  }

 private:
  FakeProcessControl& control_;
  int64_t pid_;
};

}  // namespace

std::unique_ptr<platform::CpuTimeHandle> FakeCpuTimeDevice::Open() {
  if (!opens) return nullptr;
  ++openCount;
  return std::make_unique<FakeCpuTimeHandle>(*this);
}

std::optional<int32_t> FakeFreeResources::GetFreeSystemResources(int32_t selector) {
  if (log_) log_->push_back("Resource" + std::to_string(selector));
  return values.at(selector);
}

std::unique_ptr<platform::ProcessSnapshot> FakeProcessSource::CreateToolhelp32Snapshot() {
  ++snapshots;
  if (onSnapshot) onSnapshot();
  return std::make_unique<FakeSnapshot>(*this);
}

platform::ProcessEntry Process(std::string path, int64_t pid, uint64_t startTime) {
  platform::ProcessEntry entry;
  entry.szExeFile = base::SharedText(path);
  entry.th32ProcessID = pid;
  entry.startTime = startTime;
  entry.cntThreads = 1;
  entry.th32ParentProcessID = 1;
  return entry;
}

std::unique_ptr<platform::ProcessHandle> FakeProcessControl::OpenProcess(int64_t pid,
                                                                         uint64_t startTime) {
  opened.push_back(pid);
  auto it = running.find(pid);
  using platform::OpenRefusal;
  refusal = it == running.end() || it->second.startTime != startTime ? OpenRefusal::kAnotherProcess
            : it->second.mayEnd                                      ? OpenRefusal::kNone
                                                                     : OpenRefusal::kNotPermitted;
  if (refusal != OpenRefusal::kNone) return nullptr;
  ++handles;
  return std::make_unique<FakeProcessHandle>(*this, pid);
}

FakeServices::FakeServices(CallLog* log) : resources(log) {
  // An idle record at the start of the table.
  cpuTime.table = {0, 0, 0, platform::kCpuTimeIdleFlag};
  cpuTime.count = 16;
  clock.now = 100000;
  memory.status = {1024 * 523352LL, 1024 * 261676LL, 2048 * 1024LL,
                   1024 * 1024LL,   1024 * 525400LL, 1024 * 262700LL};
  processes.processes = {Process("/sbin/init", 1), Process("/usr/bin/Foo", 100)};
  for (const auto& p : processes.processes) processControl.running[p.th32ProcessID] = {p.startTime};
}

platform::Services FakeServices::Services() {
  return {instance,
          use.cpuTime ? *use.cpuTime : cpuTime,
          use.clock ? *use.clock : clock,
          use.memory ? *use.memory : memory,
          use.resources ? *use.resources : resources,
          use.processes ? *use.processes : processes,
          use.processControl ? *use.processControl : processControl};
}

void FakeServices::NextSample(int64_t elapsedMs, int32_t idleDeltaMs) {
  clock.now += elapsedMs;
  cpuTime.table[2] += idleDeltaMs;
}

}  // namespace pelmora::fakes
