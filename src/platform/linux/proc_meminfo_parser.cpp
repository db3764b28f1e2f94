// SPDX-License-Identifier: MIT
#include "platform/linux/proc_meminfo_parser.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace pelmora::platform::linux_os {

namespace {

constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

uint64_t SaturatingAdd(uint64_t a, uint64_t b) { return a > kMax - b ? kMax : a + b; }

// The number after the colon: blanks, decimal digits, then optionally blanks
// and a unit. nullopt when no digits follow the blanks.
std::optional<uint64_t> ReadValue(std::string_view rest) {
  size_t pos = rest.find_first_not_of(" \t");
  if (pos == std::string_view::npos) return std::nullopt;
  const char* first = rest.data() + pos;
  const char* last = rest.data() + rest.size();
  uint64_t value = 0;
  auto [end, error] = std::from_chars(first, last, value);
  if (end == first) return std::nullopt;
  if (error == std::errc::result_out_of_range) value = kMax;
  if (end != last && *end != ' ' && *end != '\t' && *end != '\r') return std::nullopt;
  return value;
}

}  // namespace

Meminfo ParseMeminfo(std::string_view text) {
  struct Key {
    std::string_view name;
    std::optional<uint64_t> Meminfo::*field;
  };
  static constexpr Key kKeys[] = {
      {"MemTotal", &Meminfo::memTotal},
      {"MemFree", &Meminfo::memFree},
      {"MemAvailable", &Meminfo::memAvailable},
      {"Buffers", &Meminfo::buffers},
      {"Cached", &Meminfo::cached},
      {"SwapTotal", &Meminfo::swapTotal},
      {"SwapFree", &Meminfo::swapFree},
  };
  Meminfo info;
  size_t lineStart = 0;
  while (lineStart < text.size()) {
    size_t lineEnd = text.find('\n', lineStart);
    if (lineEnd == std::string_view::npos) break;  // a last line without its end may be cut
    std::string_view line = text.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view name = line.substr(0, colon);
    for (const Key& key : kKeys) {
      if (name != key.name || (info.*key.field).has_value()) continue;
      info.*key.field = ReadValue(line.substr(colon + 1));
      break;
    }
  }
  return info;
}

uint64_t AvailableKb(const Meminfo& info) {
  uint64_t available = 0;
  if (info.memAvailable) {
    available = *info.memAvailable;
  } else {
    available = SaturatingAdd(SaturatingAdd(info.memFree.value_or(0), info.buffers.value_or(0)),
                              info.cached.value_or(0));
  }
  return std::min(available, info.memTotal.value_or(0));
}

}  // namespace pelmora::platform::linux_os
