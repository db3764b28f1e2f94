// SPDX-License-Identifier: MIT
#pragma once
// How every /proc parser takes a kernel text apart: into lines, a line into
// blank-separated fields, a field into a number. Pure functions of text.
//
// Lines: a line counts only with its line end ("\n"). The last line of a
// text that has none may have been cut inside a number, and a shorter
// number is a wrong one.
//
// Blanks: the white space of the C locale other than the line end: space,
// tab, carriage return, vertical tab and form feed. The kernel writes spaces
// and tabs; the others cost nothing to accept.
//
// Numbers: an optional "-" (signed fields only), then at least one decimal
// digit, and nothing else: no "+", no blank, no unit glued to the digits.
//
// Overflow: a number that does not fit its 64-bit type is unreadable, just
// like a field that is no number at all. It never saturates. The kernel
// writes no field wider than 64 bits, so such a text is not what the parser
// takes it for, and the largest value would pass for a true figure, wrongly
// wherever it is used: a start time compared for a process's identity would
// equal every other start time that overflowed, so a reused PID could pass
// for the process the user picked; a CPU-time counter stuck at the maximum
// turns the deltas of the spans around it into a load that never was; a PID,
// a priority, a meminfo figure or a file-nr count would show a value the
// machine never had. Unreadable takes the path every malformed text takes
// already: the meminfo line counts as missing, the process is skipped, the
// last good CPU sample stays the reference, a resource shows no figure.
//
// Arithmetic on figures that were read (deltas, sums, byte counts) still
// saturates: those are true figures whose combination does not fit.
#include <cstdint>
#include <optional>
#include <string_view>

namespace pelmora::platform::linux_os {

constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// A decimal number that fills the whole field and fits its type; nullopt
// for anything else.
std::optional<uint64_t> ParseUnsignedField(std::string_view field);
std::optional<int64_t> ParseSignedField(std::string_view field);

// The complete lines of a text, front to back.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text) : rest_(text) {}

  // The next line without its line end; nullopt once no complete line is
  // left.
  std::optional<std::string_view> Next();

 private:
  std::string_view rest_;
};

// The first line of a text; nullopt when it has no line end.
inline std::optional<std::string_view> FirstLine(std::string_view text) {
  return LineCursor(text).Next();
}

// The blank-separated fields of one line, front to back. A line end in the
// text is no blank: it sticks to its field, which is then no number.
class FieldCursor {
 public:
  explicit FieldCursor(std::string_view line) : rest_(line) {}

  // The next field; empty once only blanks are left.
  std::string_view Next();
  // The next field as a number; nullopt when there is none or it is none.
  std::optional<uint64_t> NextUnsigned() { return ParseUnsignedField(Next()); }
  std::optional<int64_t> NextSigned() { return ParseSignedField(Next()); }
  // True once only blanks are left.
  bool AtEnd() const;

 private:
  std::string_view rest_;
};

}  // namespace pelmora::platform::linux_os
