// SPDX-License-Identifier: MIT
#include "platform/linux/proc_pid_parsers.h"

#include <limits>

namespace pelmora::platform::linux_os {
namespace {

constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Splits the text after the command name into blank-separated tokens, one
// at a time.
class FieldCursor {
 public:
  explicit FieldCursor(std::string_view text) : text_(text) {}

  // The next token, or an empty view when the text is used up.
  std::string_view Next() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
    const size_t start = pos_;
    while (pos_ < text_.size() && !IsBlank(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// Adds the digits of text to a saturating magnitude. False when text is
// empty or holds a non-digit.
bool AccumulateDigits(std::string_view digits, uint64_t& value) {
  if (digits.empty()) return false;
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  uint64_t v = 0;
  bool saturated = false;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    const uint64_t d = static_cast<uint64_t>(c - '0');
    if (!saturated) {
      if (v > (kMax - d) / 10) {
        saturated = true;
      } else {
        v = v * 10 + d;
      }
    }
  }
  value = saturated ? kMax : v;
  return true;
}

}  // namespace

std::optional<uint64_t> ParseUnsignedField(std::string_view token) {
  uint64_t value = 0;
  if (!AccumulateDigits(token, value)) return std::nullopt;
  return value;
}

std::optional<int64_t> ParseSignedField(std::string_view token) {
  const bool negative = !token.empty() && token.front() == '-';
  if (negative) token.remove_prefix(1);
  uint64_t magnitude = 0;
  if (!AccumulateDigits(token, magnitude)) return std::nullopt;
  constexpr uint64_t kMaxPositive = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (!negative) {
    return magnitude > kMaxPositive ? std::numeric_limits<int64_t>::max()
                                    : static_cast<int64_t>(magnitude);
  }
  if (magnitude > kMaxPositive) return std::numeric_limits<int64_t>::min();
  return -static_cast<int64_t>(magnitude);
}

std::optional<PidStat> ParsePidStat(std::string_view text) {
  const size_t open = text.find('(');
  const size_t close = text.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
    return std::nullopt;
  }

  PidStat stat;
  FieldCursor head(text.substr(0, open));
  const auto pid = ParseSignedField(head.Next());
  if (!pid || *pid <= 0 || !head.Next().empty()) return std::nullopt;
  stat.pid = *pid;
  stat.comm = text.substr(open + 1, close - open - 1);

  // The fields after the name, numbered as proc(5) numbers them.
  FieldCursor fields(text.substr(close + 1));
  for (int number = 3; number <= 47; ++number) {
    const std::string_view token = fields.Next();
    if (token.empty()) {
      if (number <= 22) return std::nullopt;
      break;  // an older kernel writes fewer fields
    }
    switch (number) {
      case 3:
        if (token.size() != 1) return std::nullopt;
        stat.state = token.front();
        break;
      case 4: {
        const auto v = ParseSignedField(token);
        if (!v) return std::nullopt;
        stat.ppid = *v;
        break;
      }
      case 9: {
        const auto v = ParseUnsignedField(token);
        if (!v) return std::nullopt;
        stat.flags = *v;
        break;
      }
      case 18: {
        const auto v = ParseSignedField(token);
        if (!v) return std::nullopt;
        stat.priority = *v;
        break;
      }
      case 20: {
        const auto v = ParseSignedField(token);
        if (!v) return std::nullopt;
        stat.num_threads = *v;
        break;
      }
      case 22: {
        const auto v = ParseUnsignedField(token);
        if (!v) return std::nullopt;
        stat.starttime = *v;
        break;
      }
      case 47:
        stat.start_brk = ParseUnsignedField(token).value_or(0);
        break;
      default:
        break;
    }
  }
  return stat;
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

}  // namespace pelmora::platform::linux_os
