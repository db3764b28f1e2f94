// SPDX-License-Identifier: MIT
#include "platform/linux/walk/linux_process_snapshot.h"

#include <utility>

#include "platform/linux/walk/known_processes.h"
#include "platform/linux/walk/proc_walk.h"

namespace pelmora::platform::linux_os {

namespace {

class LinuxProcessSnapshot : public platform::ProcessSnapshot {
 public:
  explicit LinuxProcessSnapshot(std::shared_ptr<ProcWalk> walk) : walk_(std::move(walk)) {}

  bool Process32First(ProcessEntry& entry) override {
    next_ = 0;
    walk_->BeginRebuild();
    full_ = true;
    return Process32Next(entry);
  }

  bool Process32Next(ProcessEntry& entry) override {
    while (next_ < walk_->size()) {
      if (walk_->ReadEntry(next_++, entry)) return true;
    }
    if (full_) walk_->EndRebuild();
    full_ = false;
    return false;
  }

  bool PathFirst(std::string& path) override {
    next_ = 0;
    full_ = false;
    return PathNext(path);
  }

  bool PathNext(std::string& path) override {
    while (next_ < walk_->size()) {
      if (walk_->CheckPath(next_++, path)) return true;
    }
    return false;
  }

 private:
  std::shared_ptr<ProcWalk> walk_;
  size_t next_ = 0;
  bool full_ = false;  // a full walk under way, not yet at its end
};

}  // namespace

LinuxProcessSnapshotSource::LinuxProcessSnapshotSource(std::string proc_root)
    : LinuxProcessSnapshotSource(std::move(proc_root), HeldFileBudget()) {}

LinuxProcessSnapshotSource::LinuxProcessSnapshotSource(std::string proc_root,
                                                       size_t heldFileBudget)
    : proc_root_(std::move(proc_root)),
      heldFileBudget_(heldFileBudget),
      walk_(std::make_shared<ProcWalk>(proc_root_, heldFileBudget_)) {}

LinuxProcessSnapshotSource::~LinuxProcessSnapshotSource() = default;

std::unique_ptr<platform::ProcessSnapshot> LinuxProcessSnapshotSource::CreateToolhelp32Snapshot() {
  // A snapshot still alive keeps its walk; the new one then gets its own.
  if (walk_.use_count() > 1) walk_ = std::make_shared<ProcWalk>(proc_root_, heldFileBudget_);
  walk_->List();
  return std::make_unique<LinuxProcessSnapshot>(walk_);
}

size_t LinuxProcessSnapshotSource::HeldFiles() const { return walk_->known().size(); }

}  // namespace pelmora::platform::linux_os
