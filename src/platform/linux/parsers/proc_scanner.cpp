// SPDX-License-Identifier: MIT
#include "platform/linux/parsers/proc_scanner.h"

#include <charconv>

namespace pelmora::platform::linux_os {
namespace {

// from_chars takes exactly the digits (and, for a signed type, the "-") of
// the grammar, and reports a value beyond its type instead of clamping it.
template <typename T>
std::optional<T> ParseWhole(std::string_view field) {
  T value = 0;
  const char* last = field.data() + field.size();
  const auto [end, error] = std::from_chars(field.data(), last, value);
  if (error != std::errc() || end != last) return std::nullopt;
  return value;
}

}  // namespace

std::optional<uint64_t> ParseUnsignedField(std::string_view field) {
  return ParseWhole<uint64_t>(field);
}

std::optional<int64_t> ParseSignedField(std::string_view field) {
  return ParseWhole<int64_t>(field);
}

std::optional<std::string_view> LineCursor::Next() {
  const size_t end = rest_.find('\n');
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view line = rest_.substr(0, end);
  rest_.remove_prefix(end + 1);
  return line;
}

std::string_view FieldCursor::Next() {
  size_t start = 0;
  while (start < rest_.size() && IsBlank(rest_[start])) ++start;
  size_t end = start;
  while (end < rest_.size() && !IsBlank(rest_[end])) ++end;
  const std::string_view field = rest_.substr(start, end - start);
  rest_.remove_prefix(end);
  return field;
}

bool FieldCursor::AtEnd() const {
  for (char c : rest_) {
    if (!IsBlank(c)) return false;
  }
  return true;
}

}  // namespace pelmora::platform::linux_os
