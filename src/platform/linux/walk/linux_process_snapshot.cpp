// SPDX-License-Identifier: MIT
#include "platform/linux/walk/linux_process_snapshot.h"

#include <utility>

#include "platform/linux/walk/proc_walk.h"

namespace pelmora::platform::linux_os {

namespace {

class LinuxProcessSnapshot : public platform::ProcessSnapshot {
 public:
  explicit LinuxProcessSnapshot(ProcWalk& walk) : walk_(walk) { walk_.List(listing_); }

  bool Process32First(ProcessEntry& entry) override {
    next_ = 0;
    walk_.BeginRebuild(checked_);
    return Process32Next(entry);
  }

  bool Process32Next(ProcessEntry& entry) override {
    while (next_ < listing_.pids.size()) {
      if (walk_.ReadRow(listing_, next_++, entry)) return true;
    }
    return false;
  }

  bool PathFirst(base::SharedText& path) override {
    next_ = 0;
    checked_ = true;
    outdatedFound_ = false;
    return PathNext(path);
  }

  bool PathNext(base::SharedText& path) override {
    const uint64_t before = walk_.outdatedRows();
    bool named = false;
    while (!named && next_ < listing_.pids.size()) {
      named = walk_.CheckName(listing_, next_++, path);
    }
    outdatedFound_ = outdatedFound_ || walk_.outdatedRows() != before;
    return named;
  }

  bool RowsOutdated() override { return outdatedFound_; }

 private:
  ProcWalk& walk_;
  Listing listing_;
  size_t next_ = 0;
  bool checked_ = false;  // a check walked this listing
  bool outdatedFound_ = false;  // ... and found rows outdated (ProcWalk::outdatedRows)
};

}  // namespace

LinuxProcessSnapshotSource::LinuxProcessSnapshotSource(ProcFs& door, platform::TickClock& clock)
    : walk_(std::make_unique<ProcWalk>(door, clock)) {}

LinuxProcessSnapshotSource::~LinuxProcessSnapshotSource() = default;

std::unique_ptr<platform::ProcessSnapshot> LinuxProcessSnapshotSource::CreateToolhelp32Snapshot() {
  return std::make_unique<LinuxProcessSnapshot>(*walk_);
}

size_t LinuxProcessSnapshotSource::HeldFiles() const { return walk_->held(); }

}  // namespace pelmora::platform::linux_os
