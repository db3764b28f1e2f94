// SPDX-License-Identifier: MIT
#include "platform/linux/parsers/proc_pid_parsers.h"

#include <array>
#include <limits>

#include "platform/linux/parsers/proc_scanner.h"

namespace pelmora::platform::linux_os {
std::optional<PidStat> ParsePidStat(std::string_view text) {
  const size_t open = text.find('(');
  const size_t close = text.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
    return std::nullopt;
  }
  FieldCursor head(text.substr(0, open));
  const auto pid = head.NextSigned();
  if (!pid || *pid <= 0 || !head.AtEnd()) return std::nullopt;

  // The fields after the name up to its line end, numbered as proc(5)
  // numbers them; an older kernel writes fewer than 51.
  std::array<std::string_view, 52> field{};
  const std::string_view rest = text.substr(close + 1);
  FieldCursor fields(rest.substr(0, rest.find('\n')));
  for (size_t number = 3; number < field.size(); ++number) {
    field[number] = fields.Next();
    if (field[number].empty()) break;
  }
  const auto ppid = ParseSignedField(field[4]);
  const auto flags = ParseUnsignedField(field[9]);
  const auto priority = ParseSignedField(field[18]);
  const auto threads = ParseSignedField(field[20]);
  const auto starttime = ParseUnsignedField(field[22]);
  if (field[3].size() != 1 || !ppid || !flags || !priority || !threads || !starttime) {
    return std::nullopt;
  }
  return PidStat{.pid = *pid,
                 .comm = text.substr(open + 1, close - open - 1),
                 .state = field[3].front(),
                 .ppid = *ppid,
                 .flags = *flags,
                 .priority = *priority,
                 .num_threads = *threads,
                 .starttime = *starttime,
                 .start_brk = ParseUnsignedField(field[47]).value_or(0),
                 .arg_start = ParseUnsignedField(field[48]).value_or(0),
                 .env_end = ParseUnsignedField(field[51]).value_or(0)};
}

std::string_view Argv0(std::string_view cmdline) {
  const size_t nul = cmdline.find('\0');
  return nul == std::string_view::npos ? cmdline : cmdline.substr(0, nul);
}

std::optional<int64_t> ParsePidName(std::string_view name) {
  // pid_t is 32 bits: at most 10 digits, and no leading zero.
  if (name.empty() || name.size() > 10 || name.front() == '0') return std::nullopt;
  const auto value = ParseUnsignedField(name);
  if (!value || *value > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
    return std::nullopt;
  }
  return static_cast<int64_t>(*value);
}

std::optional<int64_t> ParseFdinfoPid(std::string_view fdinfo) {
  constexpr std::string_view kKey = "Pid:";
  LineCursor lines(fdinfo);
  while (const auto line = lines.Next()) {
    if (line->substr(0, kKey.size()) != kKey) continue;
    FieldCursor fields(line->substr(kKey.size()));
    const auto pid = fields.NextSigned();
    if (!pid || !fields.AtEnd() || *pid < -1 || *pid > std::numeric_limits<int32_t>::max()) {
      return std::nullopt;
    }
    return pid;
  }
  return std::nullopt;
}

}  // namespace pelmora::platform::linux_os
