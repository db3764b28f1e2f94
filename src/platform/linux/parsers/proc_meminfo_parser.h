// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace pelmora::platform::linux_os {

// The lines of /proc/meminfo that the memory figures need, in kB. A line
// that is missing, cut off (a last line without its line end) or whose value
// is not a number stays nullopt, and so does a value beyond 64 bits: it is
// unreadable, never saturated (see proc_scanner.h), as no machine has that
// much memory to show. Lines may come in any order; of a line given twice
// the first readable one counts.
struct Meminfo {
  std::optional<uint64_t> memTotal;
  std::optional<uint64_t> memFree;
  std::optional<uint64_t> memAvailable;  // kernels before 3.14 have none
  std::optional<uint64_t> buffers;
  std::optional<uint64_t> cached;
  std::optional<uint64_t> swapTotal;
  std::optional<uint64_t> swapFree;
};

// The line names ParseMeminfo reads and the field each fills, in the order
// of the fields.
struct MeminfoKey {
  std::string_view name;
  std::optional<uint64_t> Meminfo::*field;
};
inline constexpr MeminfoKey kMeminfoKeys[] = {
    {"MemTotal", &Meminfo::memTotal},
    {"MemFree", &Meminfo::memFree},
    {"MemAvailable", &Meminfo::memAvailable},
    {"Buffers", &Meminfo::buffers},
    {"Cached", &Meminfo::cached},
    {"SwapTotal", &Meminfo::swapTotal},
    {"SwapFree", &Meminfo::swapFree},
};

Meminfo ParseMeminfo(std::string_view text);

// The memory that can still be used without swapping, in kB: MemAvailable
// where the kernel reports it, otherwise MemFree + Buffers + Cached (the
// estimate used before the kernel made its own), never more than MemTotal.
uint64_t AvailableKb(const Meminfo& info);

}  // namespace pelmora::platform::linux_os
