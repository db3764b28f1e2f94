// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace pelmora::platform::linux_os {

// The machine's aggregate CPU times from the `cpu ` line of /proc/stat, in
// clock ticks. Fields an older kernel does not report read 0.
struct CpuTimes {
  uint64_t user = 0;
  uint64_t nice = 0;
  uint64_t system = 0;
  uint64_t idle = 0;
  uint64_t iowait = 0;
  uint64_t irq = 0;
  uint64_t softirq = 0;
  uint64_t steal = 0;
  uint64_t guest = 0;      // already counted in user
  uint64_t guestNice = 0;  // already counted in nice
};

// Finds the aggregate `cpu ` line wherever it stands in the text and reads its
// fields. nullopt when there is no such line, when the line is cut off (no
// line end), when it holds fewer than the four fields user nice system idle,
// or when a field is not a decimal number or does not fit 64 bits: a counter
// that overflowed is unreadable, never saturated (see proc_scanner.h), so the
// last good sample stays the reference instead of a maximum that would turn
// the next deltas into a load that never was.
std::optional<CpuTimes> ParseProcStat(std::string_view text);

// The idle part of a span between two samples, as an exact ratio of clock
// ticks: idle = Δ(idle + iowait), total = Δ(user + nice + system + idle +
// iowait + irq + softirq + steal). Each field's delta is floored at 0 (idle
// and iowait have been seen stepping back); guest and guest_nice are never
// added, being part of user and nice already. Sums saturate.
struct IdleShare {
  uint64_t idle = 0;
  uint64_t total = 0;  // never 0; idle <= total
};

// nullopt when the span holds no clock ticks at all.
std::optional<IdleShare> IdleShareBetween(const CpuTimes& before, const CpuTimes& after);

}  // namespace pelmora::platform::linux_os
