// SPDX-License-Identifier: MIT
#pragma once
// Pure parsers of the per-process texts under /proc. They take the text as
// the kernel wrote it and never touch the file system, so any bytes can be
// fed to them.
#include <cstdint>
#include <optional>
#include <string_view>

namespace pelmora::platform::linux_os {

// The kernel marks its own threads with this bit of the stat flags.
inline constexpr uint64_t kPfKthread = 0x00200000;

// The fields of /proc/PID/stat that the process list uses. Field numbers are
// those of proc(5), counting the PID as field 1.
struct PidStat {
  int64_t pid = 0;          // 1
  std::string_view comm;    // 2, raw bytes between the first "(" and the last ")";
                            //    points into the parsed text
  char state = 0;           // 3
  int64_t ppid = 0;         // 4
  uint64_t flags = 0;       // 9
  int64_t priority = 0;     // 18, negative for real-time tasks
  int64_t num_threads = 0;  // 20
  uint64_t starttime = 0;   // 22, clock ticks after boot
  uint64_t start_brk = 0;   // 47, 0 where absent (old kernels) or hidden
  uint64_t arg_start = 0;   // 48, where argv lies; 0 where absent or hidden
  uint64_t env_end = 0;     // 51, where the environment ends; likewise

  bool IsKernelThread() const { return (flags & kPfKthread) != 0; }
};

// Parses /proc/PID/stat. The command name may hold any bytes, blanks,
// parentheses and newlines included: it runs from the first "(" to the last
// ")". The numbered fields follow the last ")" up to the line end, separated
// by blanks. Fields 1 to 22 are required: text that is cut short or holds
// something other than a number there gives nullopt, and so does a number
// too large for its 64-bit field: it is unreadable, never saturated (see
// proc_scanner.h), so a start time that overflowed cannot pass for another.
// Field 47 is optional and reads 0 when it is missing or unreadable.
std::optional<PidStat> ParsePidStat(std::string_view text);

// The first argument of /proc/PID/cmdline: the bytes before the first NUL,
// or the whole text when there is none (a process that rewrote its
// arguments). Empty for zombies and kernel threads, whose cmdline is empty.
std::string_view Argv0(std::string_view cmdline);

// The PID named by an entry of the /proc directory: a canonical positive
// decimal number (no sign, no leading zero) that fits a pid_t. Anything
// else ("self", "sys", "0012") is not a process directory.
std::optional<int64_t> ParsePidName(std::string_view name);

// The PID of the process a pidfd holds, from the "Pid:" line of its
// /proc/self/fdinfo text: as the PID namespace of that /proc mount numbers
// it, 0 when the process is not in that namespace, -1 once it has ended.
// nullopt when there is no such complete line or its value is no number of
// at least -1 that fits a pid_t.
std::optional<int64_t> ParseFdinfoPid(std::string_view fdinfo);

}  // namespace pelmora::platform::linux_os
