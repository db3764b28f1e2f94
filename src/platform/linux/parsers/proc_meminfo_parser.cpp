// SPDX-License-Identifier: MIT
#include "platform/linux/parsers/proc_meminfo_parser.h"

#include <algorithm>

#include "platform/linux/parsers/proc_scanner.h"
#include "platform/linux/parsers/saturating.h"

namespace pelmora::platform::linux_os {

Meminfo ParseMeminfo(std::string_view text) {
  Meminfo info;
  LineCursor lines(text);
  while (const auto line = lines.Next()) {
    const size_t colon = line->find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = line->substr(0, colon);
    for (const MeminfoKey& key : kMeminfoKeys) {
      if (name != key.name || (info.*key.field).has_value()) continue;
      // The number after the colon; its unit may follow.
      info.*key.field = FieldCursor(line->substr(colon + 1)).NextUnsigned();
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
