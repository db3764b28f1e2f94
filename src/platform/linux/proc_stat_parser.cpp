// SPDX-License-Identifier: MIT
#include "platform/linux/proc_stat_parser.h"

#include <array>
#include <charconv>
#include <limits>

namespace pelmora::platform::linux_os {

namespace {

constexpr size_t kFieldCount = 10;
constexpr size_t kRequiredFields = 4;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Reads the numbers of one line's body. False on anything but blanks and
// decimal numbers that fit 64 bits.
bool ReadFields(std::string_view body, std::array<uint64_t, kFieldCount>& fields, size_t& count) {
  count = 0;
  size_t pos = 0;
  while (pos < body.size()) {
    if (IsBlank(body[pos]) || body[pos] == '\r') {
      ++pos;
      continue;
    }
    uint64_t value = 0;
    const char* first = body.data() + pos;
    const char* last = body.data() + body.size();
    auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end == first) return false;
    if (end != last && !IsBlank(*end) && *end != '\r') return false;
    if (count < kFieldCount) fields[count] = value;
    ++count;  // fields a newer kernel adds beyond the ten are read and dropped
    pos = static_cast<size_t>(end - body.data());
  }
  return true;
}

uint64_t FlooredDelta(uint64_t before, uint64_t after) {
  return after > before ? after - before : 0;
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  uint64_t sum = a + b;
  return sum < a ? std::numeric_limits<uint64_t>::max() : sum;
}

}  // namespace

std::optional<CpuTimes> ParseProcStat(std::string_view text) {
  size_t lineStart = 0;
  while (lineStart < text.size()) {
    size_t lineEnd = text.find('\n', lineStart);
    if (lineEnd == std::string_view::npos) {
      // A last line without its end may have been cut inside a number.
      return std::nullopt;
    }
    std::string_view line = text.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    if (line.size() < 4 || line.substr(0, 3) != "cpu" || !IsBlank(line[3])) continue;

    std::array<uint64_t, kFieldCount> fields{};
    size_t count = 0;
    if (!ReadFields(line.substr(4), fields, count) || count < kRequiredFields) return std::nullopt;
    CpuTimes times;
    times.user = fields[0];
    times.nice = fields[1];
    times.system = fields[2];
    times.idle = fields[3];
    times.iowait = fields[4];
    times.irq = fields[5];
    times.softirq = fields[6];
    times.steal = fields[7];
    times.guest = fields[8];
    times.guestNice = fields[9];
    return times;
  }
  return std::nullopt;
}

std::optional<IdleShare> IdleShareBetween(const CpuTimes& before, const CpuTimes& after) {
  uint64_t idle = SaturatingAdd(FlooredDelta(before.idle, after.idle),
                                FlooredDelta(before.iowait, after.iowait));
  uint64_t busy = 0;
  for (auto field : {&CpuTimes::user, &CpuTimes::nice, &CpuTimes::system, &CpuTimes::irq,
                     &CpuTimes::softirq, &CpuTimes::steal}) {
    busy = SaturatingAdd(busy, FlooredDelta(before.*field, after.*field));
  }
  uint64_t total = SaturatingAdd(idle, busy);
  if (total == 0) return std::nullopt;
  return IdleShare{idle, total};
}

}  // namespace pelmora::platform::linux_os
