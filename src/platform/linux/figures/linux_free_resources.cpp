// SPDX-License-Identifier: MIT
#include "platform/linux/figures/linux_free_resources.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "platform/linux/io/proc_file_io.h"
#include "platform/linux/parsers/resource_parsers.h"

namespace pelmora::platform::linux_os {

namespace {

std::optional<uint64_t> ProcessTaskLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NPROC, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return std::nullopt;
  }
  return static_cast<uint64_t>(limit.rlim_cur);
}

// A cgroup path holding ".." could lead out of the hierarchy; such a path
// (seen from inside another cgroup namespace) is not followed.
bool IsPlainPath(const std::string& path) {
  return path.find("/..") == std::string::npos && path.find("../") == std::string::npos;
}

}  // namespace

LinuxFreeResources::LinuxFreeResources(ProcFs& door)
    : LinuxFreeResources(door, "/sys", static_cast<uint32_t>(::getuid()), ProcessTaskLimit) {}

LinuxFreeResources::LinuxFreeResources(ProcFs& door, std::string sysRoot, uint32_t uid,
                                       TaskLimit taskLimit)
    : door_(door), uid_(uid), taskLimit_(std::move(taskLimit)) {
  FindCgroups(sysRoot);
}

void LinuxFreeResources::FindCgroups(const std::string& sysRoot) {
  const std::string base = sysRoot + "/fs/cgroup";
  // The unified hierarchy is mounted at /sys/fs/cgroup, or at
  // /sys/fs/cgroup/unified beside the older per-controller hierarchies.
  std::vector<std::pair<std::string, std::string>> roots;  // mount, path of this process
  CgroupPaths paths;
  if (door_.ReadSelfCgroup(text_) == ReadStatus::kOk) {
    paths = ParseProcCgroup(text_);
  }
  for (const char* mount : {"", "/unified"}) {
    roots.emplace_back(base + mount, paths.unified);
  }
  roots.emplace_back(base + "/pids", paths.pids);

  const std::string slice = "/user.slice/user-" + std::to_string(uid_) + ".slice/pids.current";
  for (const auto& [mount, path] : roots) {
    if (userSliceCurrent_.path().empty()) {
      KeptFile current(mount + slice);
      if (ReadNumber(current)) userSliceCurrent_ = std::move(current);
    }
    if (path.empty() || !IsPlainPath(path)) continue;
    // Every level below the root that carries a pids limit file.
    std::string level = path;
    while (level.size() > 1) {
      if (level.back() == '/') {
        level.pop_back();
        continue;
      }
      std::string dir = mount + level;
      if (ReadTextAt(AT_FDCWD, (dir + "/pids.max").c_str(), text_, kSmallTextCap) ==
              ReadStatus::kOk &&
          ParsePidsMax(text_)) {
        pidsLevels_.push_back({KeptFile(dir + "/pids.max"), KeptFile(dir + "/pids.current")});
      }
      level.erase(level.rfind('/'));
      if (level.empty()) break;
    }
  }
}

std::optional<int32_t> LinuxFreeResources::GetFreeSystemResources(int32_t selector) {
  switch (selector) {
    case platform::kResourceSystem:
      return SystemTasks();
    case platform::kResourceGdi:
      return FileHandles();
    case platform::kResourceUser:
      return UserTasks();
    default:
      return std::nullopt;
  }
}

std::optional<uint64_t> LinuxFreeResources::ReadNumber(KeptFile& file) {
  if (file.Read(text_, kSmallTextCap) != ReadStatus::kOk) return std::nullopt;
  return ParseNumberFile(text_);
}

std::optional<uint64_t> LinuxFreeResources::ReadNumber(SystemText which) {
  if (door_.ReadSystemText(which, text_) != ReadStatus::kOk) return std::nullopt;
  return ParseNumberFile(text_);
}

std::optional<uint64_t> LinuxFreeResources::MachineTasks() {
  if (door_.ReadSystemText(SystemText::kLoadavg, text_) != ReadStatus::kOk) return std::nullopt;
  return ParseLoadavgTasks(text_);
}

std::optional<int32_t> LinuxFreeResources::SystemTasks() {
  std::optional<uint64_t> tasks = MachineTasks();
  std::optional<uint64_t> pidMax = ReadNumber(SystemText::kPidMax);
  std::optional<uint64_t> threadsMax = ReadNumber(SystemText::kThreadsMax);
  if (!tasks || (!pidMax && !threadsMax)) return std::nullopt;
  uint64_t slots = std::min(pidMax.value_or(UINT64_MAX), threadsMax.value_or(UINT64_MAX));
  return FreePercent(*tasks, slots);
}

std::optional<int32_t> LinuxFreeResources::FileHandles() {
  if (door_.ReadSystemText(SystemText::kFileNr, text_) != ReadStatus::kOk) return std::nullopt;
  std::optional<FileNr> files = ParseFileNr(text_);
  if (!files) return std::nullopt;
  uint64_t used = files->allocated > files->unused ? files->allocated - files->unused : 0;
  return FreePercent(used, files->max);
}

std::optional<int32_t> LinuxFreeResources::UserTasks() {
  std::optional<int32_t> free;
  bool unreadable = false;
  auto take = [&free](int32_t percent) { free = std::min(free.value_or(100), percent); };

  if (uid_ != 0) {
    if (std::optional<uint64_t> limit = taskLimit_()) {
      std::optional<uint64_t> count;
      if (!userSliceCurrent_.path().empty()) count = ReadNumber(userSliceCurrent_);
      if (!count) count = MachineTasks();
      if (count) {
        take(FreePercent(*count, *limit));
      } else {
        unreadable = true;
      }
    }
  }
  for (PidsLevel& level : pidsLevels_) {
    if (level.max.Read(text_, kSmallTextCap) != ReadStatus::kOk) continue;  // the cgroup went away
    std::optional<PidsMax> max = ParsePidsMax(text_);
    if (!max || max->unlimited) continue;
    std::optional<uint64_t> current = ReadNumber(level.current);
    if (current) {
      take(FreePercent(*current, max->value));
    } else {
      unreadable = true;
    }
  }
  if (free) return free;
  if (unreadable) return std::nullopt;
  return 100;
}

}  // namespace pelmora::platform::linux_os
