// SPDX-License-Identifier: MIT
#include "platform/linux/parsers/resource_parsers.h"

#include "platform/linux/parsers/proc_scanner.h"

namespace pelmora::platform::linux_os {

namespace {

__extension__ typedef unsigned __int128 Wide;

}  // namespace

std::optional<uint64_t> ParseLoadavgTasks(std::string_view text) {
  const auto line = FirstLine(text);
  if (!line) return std::nullopt;
  FieldCursor fields(*line);
  std::string_view field;
  for (int i = 0; i < 4; ++i) field = fields.Next();
  const size_t slash = field.find('/');
  if (slash == std::string_view::npos || slash == 0) return std::nullopt;
  return ParseUnsignedField(field.substr(slash + 1));
}

std::optional<uint64_t> ParseNumberFile(std::string_view text) {
  const auto line = FirstLine(text);
  if (!line) return std::nullopt;
  FieldCursor fields(*line);
  const auto value = fields.NextUnsigned();
  if (!fields.AtEnd()) return std::nullopt;
  return value;
}

std::optional<FileNr> ParseFileNr(std::string_view text) {
  const auto line = FirstLine(text);
  if (!line) return std::nullopt;
  FieldCursor fields(*line);
  const auto allocated = fields.NextUnsigned();
  const auto unused = fields.NextUnsigned();
  const auto max = fields.NextUnsigned();
  if (!allocated || !unused || !max || !fields.AtEnd()) return std::nullopt;
  return FileNr{*allocated, *unused, *max};
}

std::optional<PidsMax> ParsePidsMax(std::string_view text) {
  const auto line = FirstLine(text);
  if (!line) return std::nullopt;
  FieldCursor fields(*line);
  const std::string_view field = fields.Next();
  if (!fields.AtEnd()) return std::nullopt;
  if (field == "max") return PidsMax{true, 0};
  const auto value = ParseUnsignedField(field);
  if (!value) return std::nullopt;
  return PidsMax{false, *value};
}

CgroupPaths ParseProcCgroup(std::string_view text) {
  CgroupPaths paths;
  LineCursor lines(text);
  while (const auto line = lines.Next()) {
    // hierarchy-ID:controller-list:path; the path may itself hold colons.
    const size_t first = line->find(':');
    const size_t second = first == std::string_view::npos ? first : line->find(':', first + 1);
    if (second == std::string_view::npos) continue;
    const std::string_view id = line->substr(0, first);
    const std::string_view controllers = line->substr(first + 1, second - first - 1);
    const std::string_view path = line->substr(second + 1);
    if (path.empty() || path.front() != '/') continue;
    if (id == "0" && controllers.empty()) {
      if (paths.unified.empty()) paths.unified = path;
      continue;
    }
    size_t pos = 0;
    while (pos <= controllers.size()) {
      size_t comma = controllers.find(',', pos);
      if (comma == std::string_view::npos) comma = controllers.size();
      if (controllers.substr(pos, comma - pos) == "pids" && paths.pids.empty()) paths.pids = path;
      pos = comma + 1;
    }
  }
  return paths;
}

int32_t FreePercent(uint64_t used, uint64_t total) {
  if (used >= total) return 0;
  return static_cast<int32_t>(static_cast<Wide>(total - used) * 100 / total);
}

}  // namespace pelmora::platform::linux_os
