// SPDX-License-Identifier: MIT
// /proc/PID/stat: the command name may hold any bytes; the fields follow the
// last ")". And the Pid line of a pidfd's fdinfo.
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "check.h"
#include "platform/linux/parsers/proc_pid_parsers.h"
#include "platform/linux/parsers/proc_scanner.h"

using pelmora::fuzz::ViewInside;
using pelmora::platform::linux_os::IsBlank;
using pelmora::platform::linux_os::ParseFdinfoPid;
using pelmora::platform::linux_os::ParsePidStat;
using pelmora::platform::linux_os::PidStat;

namespace {

bool Same(const PidStat& a, const PidStat& b) {
  return a.pid == b.pid && a.comm == b.comm && a.state == b.state && a.ppid == b.ppid &&
         a.flags == b.flags && a.priority == b.priority && a.num_threads == b.num_threads &&
         a.starttime == b.starttime && a.start_brk == b.start_brk && a.arg_start == b.arg_start &&
         a.env_end == b.env_end;
}

// The line as the kernel would write it with these fields and zeros
// elsewhere.
std::string Canonical(const PidStat& s) {
  std::string text = std::to_string(s.pid) + " (" + std::string(s.comm) + ") " + s.state;
  for (int number = 4; number <= 52; ++number) {
    text += ' ';
    switch (number) {
      case 4:
        text += std::to_string(s.ppid);
        break;
      case 9:
        text += std::to_string(s.flags);
        break;
      case 18:
        text += std::to_string(s.priority);
        break;
      case 20:
        text += std::to_string(s.num_threads);
        break;
      case 22:
        text += std::to_string(s.starttime);
        break;
      case 47:
        text += std::to_string(s.start_brk);
        break;
      case 48:
        text += std::to_string(s.arg_start);
        break;
      case 51:
        text += std::to_string(s.env_end);
        break;
      default:
        text += '0';
        break;
    }
  }
  return text + "\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // A PID read from fdinfo is one of a pid_t, -1 (ended) at the least, and
  // the first complete Pid line's: lines after it change nothing.
  if (const std::optional<int64_t> held = ParseFdinfoPid(text)) {
    FUZZ_CHECK(*held >= -1 && *held <= std::numeric_limits<int32_t>::max());
    FUZZ_CHECK(text.find("Pid:") != std::string_view::npos);
    FUZZ_CHECK(ParseFdinfoPid(std::string(text) + "\nPid:\t7\n") == held);
  }

  const auto stat = ParsePidStat(text);
  if (!stat) return 0;

  FUZZ_CHECK(stat->pid > 0);
  // The name is exactly what lies between the first "(" and the last ")".
  FUZZ_CHECK(ViewInside(stat->comm, text));
  const size_t open = text.find('(');
  const size_t close = text.rfind(')');
  FUZZ_CHECK(stat->comm.data() == text.data() + open + 1);
  FUZZ_CHECK(stat->comm.data() + stat->comm.size() == text.data() + close);
  // The state is one byte that is neither blank nor line end (the parser
  // takes any other byte, a NUL included, as the kernel only ever writes a
  // letter there).
  FUZZ_CHECK(!IsBlank(stat->state) && stat->state != '\n');
  FUZZ_CHECK(stat->IsKernelThread() ==
             ((stat->flags & pelmora::platform::linux_os::kPfKthread) != 0));

  // The fields end with the line: what follows its end changes nothing.
  const size_t lineEnd = text.find('\n', close);
  if (lineEnd != std::string_view::npos) {
    const auto line = ParsePidStat(text.substr(0, lineEnd));
    FUZZ_CHECK(line && Same(*line, *stat));
  }

  // The same fields read back from the kernel's own layout, whatever the name.
  const std::string canonical = Canonical(*stat);
  const auto again = ParsePidStat(canonical);
  FUZZ_CHECK(again && Same(*again, *stat));
  // Cut before field 22, the line is no longer trusted.
  const size_t lastClose = canonical.rfind(')');
  size_t at = lastClose + 1;
  for (int field = 3; field <= 21; ++field) at = canonical.find(' ', at + 1);
  FUZZ_CHECK(!ParsePidStat(std::string_view(canonical).substr(0, at)));
  // Nor with a start time beyond 64 bits: it must not pass for any other.
  const size_t after = canonical.find(' ', at + 1);
  FUZZ_CHECK(!ParsePidStat(canonical.substr(0, at + 1) + "18446744073709551616" +
                           canonical.substr(after)));
  return 0;
}
