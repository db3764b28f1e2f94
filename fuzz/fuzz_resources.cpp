// SPDX-License-Identifier: MIT
// The small texts behind the free-resource figures: /proc/loadavg, number
// files, /proc/sys/fs/file-nr, pids.max, /proc/PID/cgroup, and the percent.
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "check.h"
#include "platform/linux/parsers/resource_parsers.h"

using namespace pelmora::platform::linux_os;

namespace {

__extension__ typedef unsigned __int128 Wide;

void CheckFreePercent(uint64_t used, uint64_t total) {
  const int32_t percent = FreePercent(used, total);
  FUZZ_CHECK(percent >= 0 && percent <= 100);
  if (used >= total) {
    FUZZ_CHECK(percent == 0);
    return;
  }
  // The floor of 100 x free / total: percent/100 <= free/total < (percent+1)/100.
  const Wide free = total - used;
  FUZZ_CHECK(Wide(percent) * total <= free * 100);
  FUZZ_CHECK(free * 100 < Wide(percent + 1) * total);
  FUZZ_CHECK((percent == 100) == (used == 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const bool hasLineEnd = text.find('\n') != std::string_view::npos;

  if (const auto tasks = ParseLoadavgTasks(text)) {
    FUZZ_CHECK(hasLineEnd);
    const auto again = ParseLoadavgTasks("0.00 0.01 0.05 1/" + std::to_string(*tasks) + " 7\n");
    FUZZ_CHECK(again == tasks);
  }
  if (const auto number = ParseNumberFile(text)) {
    FUZZ_CHECK(hasLineEnd);
    FUZZ_CHECK(ParseNumberFile(std::to_string(*number) + "\n") == number);
    // The first line's text holds the number's digits.
    FUZZ_CHECK(text.substr(0, text.find('\n')).find(std::to_string(*number)) !=
               std::string_view::npos);
  }
  if (const auto fileNr = ParseFileNr(text)) {
    FUZZ_CHECK(hasLineEnd);
    const auto again =
        ParseFileNr(std::to_string(fileNr->allocated) + "\t" + std::to_string(fileNr->unused) +
                    "\t" + std::to_string(fileNr->max) + "\n");
    FUZZ_CHECK(again && again->allocated == fileNr->allocated && again->unused == fileNr->unused &&
               again->max == fileNr->max);
  }
  if (const auto pidsMax = ParsePidsMax(text)) {
    FUZZ_CHECK(hasLineEnd);
    const auto again =
        ParsePidsMax(pidsMax->unlimited ? "max\n" : std::to_string(pidsMax->value) + "\n");
    FUZZ_CHECK(again && again->unlimited == pidsMax->unlimited && again->value == pidsMax->value);
    if (pidsMax->unlimited) FUZZ_CHECK(pidsMax->value == 0);
  }

  const CgroupPaths paths = ParseProcCgroup(text);
  for (const std::string* path : {&paths.unified, &paths.pids}) {
    if (path->empty()) continue;
    FUZZ_CHECK(path->front() == '/');
    FUZZ_CHECK(path->find('\n') == std::string::npos);
    FUZZ_CHECK(text.find(":" + *path + "\n") != std::string_view::npos);
  }
  if (!paths.unified.empty()) {
    FUZZ_CHECK(text.substr(0, 3) == "0::" || text.find("\n0::") != std::string_view::npos);
  }

  if (size >= 2 * sizeof(uint64_t)) {
    uint64_t words[2];
    std::memcpy(words, data, sizeof words);
    CheckFreePercent(words[0], words[1]);
    CheckFreePercent(words[1], words[0]);
    CheckFreePercent(words[0] >> 32, words[1]);
    CheckFreePercent(0, words[1]);
  }
  return 0;
}
