// SPDX-License-Identifier: MIT
// /proc/meminfo and the six memory figures made from it.
#include <cstdint>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "check.h"
#include "platform/linux/figures/linux_memory_status.h"
#include "platform/linux/parsers/proc_meminfo_parser.h"

using pelmora::platform::linux_os::AvailableKb;
using pelmora::platform::linux_os::kMeminfoKeys;
using pelmora::platform::linux_os::Meminfo;
using pelmora::platform::linux_os::MeminfoKey;
using pelmora::platform::linux_os::MemoryStatusFromMeminfo;
using pelmora::platform::linux_os::ParseMeminfo;

namespace {

bool Same(const Meminfo& a, const Meminfo& b) {
  for (const MeminfoKey& f : kMeminfoKeys) {
    if (a.*f.field != b.*f.field) return false;
  }
  return true;
}

// The kernel's layout, lines in reverse order of the struct.
std::string Canonical(const Meminfo& info) {
  std::string text = "Active:          1 kB\n";
  for (auto key = std::rbegin(kMeminfoKeys); key != std::rend(kMeminfoKeys); ++key) {
    const auto& value = info.*key->field;
    if (value) text += std::string(key->name) + ":  " + std::to_string(*value) + " kB\n";
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Meminfo info = ParseMeminfo(text);

  // A value found has its line, named at a line start.
  for (const MeminfoKey& f : kMeminfoKeys) {
    if (!(info.*f.field)) continue;
    const std::string start = std::string(f.name) + ":";
    FUZZ_CHECK(text.substr(0, start.size()) == start ||
               text.find("\n" + start) != std::string_view::npos);
  }
  // What was read reads back the same, in any order of lines.
  FUZZ_CHECK(Same(ParseMeminfo(Canonical(info)), info));

  // The first readable line of a name counts; a later one fills a gap only,
  // and one beyond 64 bits is no reading.
  if (text.empty() || text.back() == '\n') {
    const Meminfo more = ParseMeminfo(
        std::string(text) + "MemTotal: 77 kB\nSwapFree: 5 kB\nCached: 18446744073709551616 kB\n");
    FUZZ_CHECK(more.memTotal == info.memTotal.value_or(77));
    FUZZ_CHECK(more.swapFree == info.swapFree.value_or(5));
    FUZZ_CHECK(more.cached == info.cached);
  }

  // Available never exceeds total, and every figure is a sane byte count.
  const uint64_t available = AvailableKb(info);
  FUZZ_CHECK(available <= info.memTotal.value_or(0));
  const auto status = MemoryStatusFromMeminfo(info);
  for (int64_t v : {status.dwTotalPhys, status.dwAvailPhys, status.dwTotalPageFile,
                    status.dwAvailPageFile, status.dwTotalVirtual, status.dwAvailVirtual}) {
    FUZZ_CHECK(v >= 0);
  }
  FUZZ_CHECK(status.dwAvailPhys <= status.dwTotalPhys);
  FUZZ_CHECK(status.dwAvailPageFile <= status.dwTotalPageFile);
  FUZZ_CHECK(status.dwAvailVirtual <= status.dwTotalVirtual);
  FUZZ_CHECK(status.dwTotalVirtual >= status.dwTotalPhys);
  // Small totals are exact: kB times 1024.
  if (info.memTotal && *info.memTotal < (uint64_t{1} << 40)) {
    FUZZ_CHECK(status.dwTotalPhys == static_cast<int64_t>(*info.memTotal * 1024));
  }
  if (!info.swapTotal || *info.swapTotal == 0) FUZZ_CHECK(status.dwTotalPageFile == 0);
  return 0;
}
