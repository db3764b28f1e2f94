// SPDX-License-Identifier: MIT
// /proc/PID/cmdline's first argument, the names of /proc's entries, and the
// scanner every /proc parser shares: its lines, fields and numbers.
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "check.h"
#include "platform/linux/parsers/proc_pid_parsers.h"
#include "platform/linux/parsers/proc_scanner.h"

using pelmora::fuzz::ViewInside;
using namespace pelmora::platform::linux_os;

namespace {

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

__extension__ typedef unsigned __int128 Wide;

// The value of a digit string, computed wide; nullopt when it does not fit
// 64 bits.
std::optional<uint64_t> Reference(std::string_view digits) {
  Wide value = 0;
  for (char c : digits) {
    value = value * 10 + static_cast<unsigned>(c - '0');
    if (value > std::numeric_limits<uint64_t>::max()) return std::nullopt;
  }
  return static_cast<uint64_t>(value);
}

// A number that does not fit its type is unreadable, never clamped.
void CheckFields(std::string_view token) {
  const auto u = ParseUnsignedField(token);
  FUZZ_CHECK(u == (AllDigits(token) ? Reference(token) : std::nullopt));

  const bool negative = !token.empty() && token.front() == '-';
  const std::string_view magnitude = negative ? token.substr(1) : token;
  const auto m = AllDigits(magnitude) ? Reference(magnitude) : std::nullopt;
  constexpr uint64_t kMaxPositive = std::numeric_limits<int64_t>::max();
  std::optional<int64_t> expected;
  if (m && !negative && *m <= kMaxPositive) expected = static_cast<int64_t>(*m);
  if (m && negative && *m <= kMaxPositive + 1) expected = static_cast<int64_t>(uint64_t{0} - *m);
  FUZZ_CHECK(ParseSignedField(token) == expected);
}

// Fields hold no blank and only blanks lie between them; lines are the text
// up to its last line end, cut at every line end.
void CheckCursors(std::string_view text) {
  FieldCursor fields(text);
  const char* from = text.data();
  for (std::string_view field = fields.Next(); !field.empty(); field = fields.Next()) {
    FUZZ_CHECK(ViewInside(field, text) && field.data() >= from);
    for (; from < field.data(); ++from) FUZZ_CHECK(IsBlank(*from));
    for (char c : field) FUZZ_CHECK(!IsBlank(c));
    from = field.data() + field.size();
  }
  FUZZ_CHECK(fields.AtEnd());
  for (; from < text.data() + text.size(); ++from) FUZZ_CHECK(IsBlank(*from));

  LineCursor lines(text);
  std::string joined;
  while (const auto line = lines.Next()) {
    FUZZ_CHECK(ViewInside(*line, text) && line->find('\n') == std::string_view::npos);
    joined.append(*line).push_back('\n');
  }
  FUZZ_CHECK(joined == text.substr(0, text.rfind('\n') + 1));
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
    FUZZ_CHECK(*Reference(text) > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()));
  }

  CheckFields(text);
  CheckFields(argv0);
  CheckCursors(text);
  return 0;
}
