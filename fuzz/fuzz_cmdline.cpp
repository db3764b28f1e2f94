// SPDX-License-Identifier: MIT
// /proc/PID/cmdline's first argument, the names of /proc's entries and the
// decimal fields every /proc parser shares.
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "check.h"
#include "platform/linux/proc_pid_parsers.h"

using pelmora::fuzz::ViewInside;
using pelmora::platform::linux_os::Argv0;
using pelmora::platform::linux_os::ParsePidName;
using pelmora::platform::linux_os::ParseSignedField;
using pelmora::platform::linux_os::ParseUnsignedField;

namespace {

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The value of a digit string, or the largest value when it does not fit.
uint64_t SaturatedValue(std::string_view digits) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error == std::errc::result_out_of_range) return std::numeric_limits<uint64_t>::max();
  FUZZ_CHECK(end == digits.data() + digits.size());
  return value;
}

void CheckFields(std::string_view token) {
  const auto u = ParseUnsignedField(token);
  FUZZ_CHECK(u.has_value() == AllDigits(token));
  if (u) FUZZ_CHECK(*u == SaturatedValue(token));

  const bool negative = !token.empty() && token.front() == '-';
  const std::string_view magnitude = negative ? token.substr(1) : token;
  const auto s = ParseSignedField(token);
  FUZZ_CHECK(s.has_value() == AllDigits(magnitude));
  if (!s) return;
  const uint64_t m = SaturatedValue(magnitude);
  constexpr uint64_t kMaxPositive = std::numeric_limits<int64_t>::max();
  if (!negative) {
    FUZZ_CHECK(*s ==
               (m > kMaxPositive ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(m)));
  } else if (m > kMaxPositive) {
    FUZZ_CHECK(*s == std::numeric_limits<int64_t>::min());
  } else {
    FUZZ_CHECK(*s == -static_cast<int64_t>(m));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // argv[0] is the text up to its first NUL, and all of it when there is none.
  const std::string_view argv0 = Argv0(text);
  FUZZ_CHECK(ViewInside(argv0, text) && argv0.data() == text.data());
  FUZZ_CHECK(argv0.find('\0') == std::string_view::npos);
  FUZZ_CHECK(argv0.size() == text.size() || text[argv0.size()] == '\0');

  // A process directory's name is the canonical text of a positive pid_t.
  const auto pid = ParsePidName(text);
  if (pid) {
    FUZZ_CHECK(*pid > 0 && *pid <= std::numeric_limits<int32_t>::max());
    FUZZ_CHECK(std::to_string(*pid) == text);
  } else if (AllDigits(text) && text.front() != '0' && text.size() <= 10) {
    FUZZ_CHECK(SaturatedValue(text) > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()));
  }

  CheckFields(text);
  CheckFields(argv0);
  return 0;
}
