// SPDX-License-Identifier: MIT
#include "platform/linux/parsers/proc_stat_parser.h"

#include <array>

#include "platform/linux/parsers/proc_scanner.h"
#include "platform/linux/parsers/saturating.h"

namespace pelmora::platform::linux_os {

namespace {

constexpr size_t kFieldCount = 10;
constexpr size_t kRequiredFields = 4;

uint64_t FlooredDelta(uint64_t before, uint64_t after) {
  return after > before ? after - before : 0;
}

}  // namespace

std::optional<CpuTimes> ParseProcStat(std::string_view text) {
  LineCursor lines(text);
  while (const auto line = lines.Next()) {
    if (line->size() < 4 || line->substr(0, 3) != "cpu" || !IsBlank((*line)[3])) continue;
    std::array<uint64_t, kFieldCount> values{};
    size_t count = 0;
    FieldCursor fields(line->substr(4));
    for (std::string_view field = fields.Next(); !field.empty(); field = fields.Next()) {
      const auto value = ParseUnsignedField(field);
      if (!value) return std::nullopt;
      if (count < kFieldCount) values[count] = *value;
      ++count;  // fields a newer kernel adds beyond the ten are read and dropped
    }
    if (count < kRequiredFields) return std::nullopt;
    const auto [user, nice, system, idle, iowait, irq, softirq, steal, guest, guestNice] = values;
    return CpuTimes{user, nice, system, idle, iowait, irq, softirq, steal, guest, guestNice};
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
