// SPDX-License-Identifier: MIT
#include "platform/linux/resource_parsers.h"

#include <charconv>

namespace pelmora::platform::linux_os {

namespace {

__extension__ typedef unsigned __int128 Wide;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The text up to its first line end; nullopt when it has none.
std::optional<std::string_view> FirstLine(std::string_view text) {
  size_t end = text.find('\n');
  if (end == std::string_view::npos) return std::nullopt;
  return text.substr(0, end);
}

// Reads a decimal number at pos, after any blanks; moves pos behind it.
std::optional<uint64_t> ReadNumber(std::string_view line, size_t& pos) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  const char* first = line.data() + pos;
  const char* last = line.data() + line.size();
  uint64_t value = 0;
  auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end == first) return std::nullopt;
  pos = static_cast<size_t>(end - line.data());
  return value;
}

bool OnlyBlanksFrom(std::string_view line, size_t pos) {
  for (; pos < line.size(); ++pos) {
    if (!IsBlank(line[pos])) return false;
  }
  return true;
}

// The next blank-separated field of the line.
std::string_view NextField(std::string_view line, size_t& pos) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  size_t start = pos;
  while (pos < line.size() && !IsBlank(line[pos])) ++pos;
  return line.substr(start, pos - start);
}

}  // namespace

std::optional<uint64_t> ParseLoadavgTasks(std::string_view text) {
  std::optional<std::string_view> line = FirstLine(text);
  if (!line) return std::nullopt;
  size_t pos = 0;
  std::string_view field;
  for (int i = 0; i < 4; ++i) field = NextField(*line, pos);
  size_t slash = field.find('/');
  if (slash == std::string_view::npos || slash == 0) return std::nullopt;
  std::string_view tasks = field.substr(slash + 1);
  size_t at = 0;
  std::optional<uint64_t> value = ReadNumber(tasks, at);
  if (!value || at != tasks.size()) return std::nullopt;
  return value;
}

std::optional<uint64_t> ParseNumberFile(std::string_view text) {
  std::optional<std::string_view> line = FirstLine(text);
  if (!line) return std::nullopt;
  size_t pos = 0;
  std::optional<uint64_t> value = ReadNumber(*line, pos);
  if (!value || !OnlyBlanksFrom(*line, pos)) return std::nullopt;
  return value;
}

std::optional<FileNr> ParseFileNr(std::string_view text) {
  std::optional<std::string_view> line = FirstLine(text);
  if (!line) return std::nullopt;
  size_t pos = 0;
  std::optional<uint64_t> allocated = ReadNumber(*line, pos);
  std::optional<uint64_t> unused = allocated ? ReadNumber(*line, pos) : std::nullopt;
  std::optional<uint64_t> max = unused ? ReadNumber(*line, pos) : std::nullopt;
  if (!max || !OnlyBlanksFrom(*line, pos)) return std::nullopt;
  return FileNr{*allocated, *unused, *max};
}

std::optional<PidsMax> ParsePidsMax(std::string_view text) {
  std::optional<std::string_view> line = FirstLine(text);
  if (!line) return std::nullopt;
  size_t pos = 0;
  std::string_view field = NextField(*line, pos);
  if (!OnlyBlanksFrom(*line, pos)) return std::nullopt;
  if (field == "max") return PidsMax{true, 0};
  size_t at = 0;
  std::optional<uint64_t> value = ReadNumber(field, at);
  if (!value || at != field.size()) return std::nullopt;
  return PidsMax{false, *value};
}

CgroupPaths ParseProcCgroup(std::string_view text) {
  CgroupPaths paths;
  size_t lineStart = 0;
  while (lineStart < text.size()) {
    size_t lineEnd = text.find('\n', lineStart);
    if (lineEnd == std::string_view::npos) break;  // cut off
    std::string_view line = text.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 1;
    // hierarchy-ID:controller-list:path; the path may itself hold colons.
    size_t first = line.find(':');
    size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    std::string_view id = line.substr(0, first);
    std::string_view controllers = line.substr(first + 1, second - first - 1);
    std::string_view path = line.substr(second + 1);
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
