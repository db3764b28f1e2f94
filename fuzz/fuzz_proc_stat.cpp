// SPDX-License-Identifier: MIT
// /proc/stat: the aggregate cpu line and the idle share between two samples.
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "check.h"
#include "platform/linux/parsers/proc_stat_parser.h"

using pelmora::platform::linux_os::CpuTimes;
using pelmora::platform::linux_os::IdleShareBetween;
using pelmora::platform::linux_os::ParseProcStat;

namespace {

__extension__ typedef unsigned __int128 Wide;
constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

bool Same(const CpuTimes& a, const CpuTimes& b) {
  return a.user == b.user && a.nice == b.nice && a.system == b.system && a.idle == b.idle &&
         a.iowait == b.iowait && a.irq == b.irq && a.softirq == b.softirq && a.steal == b.steal &&
         a.guest == b.guest && a.guestNice == b.guestNice;
}

std::string CanonicalLine(const CpuTimes& t) {
  std::string line = "cpu ";
  for (uint64_t v : {t.user, t.nice, t.system, t.idle, t.iowait, t.irq, t.softirq, t.steal, t.guest,
                     t.guestNice}) {
    line += ' ';
    line += std::to_string(v);
  }
  return line + "\n";
}

Wide Delta(uint64_t before, uint64_t after) { return after > before ? after - before : 0; }

// The share between two samples against a reference computed in 128 bits.
void CheckShare(const CpuTimes& before, const CpuTimes& after) {
  const Wide idle = Delta(before.idle, after.idle) + Delta(before.iowait, after.iowait);
  const Wide busy = Delta(before.user, after.user) + Delta(before.nice, after.nice) +
                    Delta(before.system, after.system) + Delta(before.irq, after.irq) +
                    Delta(before.softirq, after.softirq) + Delta(before.steal, after.steal);
  const auto share = IdleShareBetween(before, after);
  if (idle + busy == 0) {
    FUZZ_CHECK(!share);
    return;
  }
  FUZZ_CHECK(share);
  FUZZ_CHECK(share->total != 0);
  FUZZ_CHECK(share->idle <= share->total);
  FUZZ_CHECK(share->idle == (idle > kMax ? kMax : static_cast<uint64_t>(idle)));
  const Wide total = idle + busy;
  FUZZ_CHECK(share->total == (total > kMax ? kMax : static_cast<uint64_t>(total)));
  // Guest time lies inside user and nice: it never changes the share.
  CpuTimes moreGuest = after;
  moreGuest.guest = before.guest + 12345;
  moreGuest.guestNice = ~after.guestNice;
  const auto again = IdleShareBetween(before, moreGuest);
  FUZZ_CHECK(again && again->idle == share->idle && again->total == share->total);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto times = ParseProcStat(text);
  if (times) {
    // Only a text with a complete aggregate line is read.
    FUZZ_CHECK(text.find('\n') != std::string_view::npos);
    FUZZ_CHECK(text.substr(0, 3) == "cpu" || text.find("\ncpu") != std::string_view::npos);
    // What was read reads back the same from the kernel's own layout.
    const auto again = ParseProcStat(CanonicalLine(*times));
    FUZZ_CHECK(again && Same(*again, *times));
    // Lines after the aggregate line change nothing.
    const auto longer = ParseProcStat(std::string(text) + "\ncpu  1 2 3 4\nintr 5\n");
    FUZZ_CHECK(longer && Same(*longer, *times));
  }

  // Twenty words as two samples.
  if (size >= 20 * sizeof(uint64_t)) {
    uint64_t words[20];
    std::memcpy(words, data, sizeof words);
    CpuTimes samples[2];
    for (int s = 0; s < 2; ++s) {
      const uint64_t* w = words + 10 * s;
      samples[s] = {w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8], w[9]};
    }
    CheckShare(samples[0], samples[1]);
    CheckShare(samples[1], samples[0]);
    CheckShare(samples[0], samples[0]);
  }
  return 0;
}
