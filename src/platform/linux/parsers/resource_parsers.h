// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora::platform::linux_os {

// Parsers of the small /proc and /sys texts behind the free-resource
// figures. Every text must end in its line end: a text cut off before it is
// unreadable (nullopt), as is a number that does not fit 64 bits. Such a
// number is never saturated (see proc_scanner.h): a file-nr count or task
// count at the maximum would show a figure the machine never had, where an
// unreadable one shows none.

// The number of scheduling entities (tasks) in /proc/loadavg: the
// denominator of its fourth field, "0.33 0.16 0.07 1/93 5812" -> 93.
std::optional<uint64_t> ParseLoadavgTasks(std::string_view text);

// A file holding one decimal number, such as /proc/sys/kernel/pid_max or a
// cgroup's pids.current.
std::optional<uint64_t> ParseNumberFile(std::string_view text);

// /proc/sys/fs/file-nr: "allocated unused max".
struct FileNr {
  uint64_t allocated = 0;
  uint64_t unused = 0;
  uint64_t max = 0;
};
std::optional<FileNr> ParseFileNr(std::string_view text);

// A cgroup's pids.max: a number, or "max" for no limit.
struct PidsMax {
  bool unlimited = false;
  uint64_t value = 0;  // when limited
};
std::optional<PidsMax> ParsePidsMax(std::string_view text);

// The cgroups of a process from /proc/PID/cgroup: the path in the unified
// hierarchy ("0::/path") and the path in a separate pids hierarchy
// ("N:pids:/path" on a machine that still mounts one). Empty when absent.
struct CgroupPaths {
  std::string unified;
  std::string pids;
};
CgroupPaths ParseProcCgroup(std::string_view text);

// Percent of a resource still free: the floor of 100 x (total - used) /
// total, computed exactly. So it never reads 100 while any of it is used,
// and reads 0 once all of it (or more) is used or when there is none at all.
int32_t FreePercent(uint64_t used, uint64_t total);

}  // namespace pelmora::platform::linux_os
