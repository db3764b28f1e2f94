// SPDX-License-Identifier: MIT
#include "toolkit/number_format.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

namespace pelmora::toolkit {
namespace {

// Longest fixed text of a double: 309 integer digits, sign, point and a few
// decimals; the widest scientific text is far shorter.
constexpr std::size_t kBufferSize = 400;

std::string NonFiniteText(double value) {
  if (std::isnan(value)) return "NaN";
  return value < 0 ? "-\u221E" : "\u221E";
}

// Adds one unit in the last place to the digits of text (a magnitude with an
// optional sign and point), carrying leftwards; a carry out of the first
// digit puts a "1" in front of it.
void IncrementLastDigit(std::string& text) {
  std::size_t firstDigit = (!text.empty() && text[0] == '-') ? 1 : 0;
  for (std::size_t i = text.size(); i-- > firstDigit;) {
    char& c = text[i];
    if (c == '.') continue;
    if (c != '9') {
      ++c;
      return;
    }
    c = '0';
  }
  text.insert(firstDigit, 1, '1');
}

// True when the text holds only zeros (besides sign and point).
bool IsAllZero(std::string_view text) {
  for (char c : text) {
    if (c >= '1' && c <= '9') return false;
  }
  return true;
}

// A value lies exactly halfway between two texts of `decimals` decimals when
// its binary expansion ends at 2^-(decimals + 1): its decimal expansion then
// has exactly decimals + 1 fractional digits, the last of them a 5.
bool IsDecimalTie(double value, int decimals) {
  const double scaled = std::ldexp(value, decimals + 1);  // exact: a power of two
  if (!std::isfinite(scaled) || scaled != std::trunc(scaled)) return false;
  return std::fmod(scaled, 2.0) != 0.0;
}

// Fixed text with `decimals` decimals, rounded on the exact binary value,
// halfway cases away from zero; a result of zero carries no sign.
std::string FixedText(double value, int decimals) {
  if (!std::isfinite(value)) return NonFiniteText(value);
  char buffer[kBufferSize];
  std::string text;
  if (IsDecimalTie(value, decimals)) {
    // One more decimal shows the tie exactly (a trailing 5); drop it and
    // round the magnitude up.
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                decimals + 1);
    text.assign(buffer, result.ptr - 1);
    IncrementLastDigit(text);
  } else {
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    text.assign(buffer, result.ptr);
  }
  if (text[0] == '-' && IsAllZero(text)) text.erase(0, 1);
  return text;
}

constexpr int kSignificantDigits = 15;

// True when the exact decimal expansion of value has exactly sixteen
// significant digits, the last a 5: the halfway case at fifteen digits.
// With value = m * 2^e (m odd) the significant digits are those of
// m * 5^-e for e < 0, and of m / 5^e for e >= 0 when 5^e divides m (otherwise
// the last significant digit is even).
bool IsSignificantTie(double value) {
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(value), &exponent);
  // fraction in [0.5, 1): the mantissa as a 53-bit integer.
  auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 53));
  exponent -= 53;
  if (mantissa == 0) return false;
  while ((mantissa & 1) == 0) {
    mantissa >>= 1;
    ++exponent;
  }
  constexpr uint64_t kLow = 1'000'000'000'000'000ULL;  // 10^15
  constexpr uint64_t kHigh = 10 * kLow;                // 10^16
  uint64_t digits = mantissa;
  if (exponent < 0) {
    for (int i = 0; i < -exponent; ++i) {
      if (digits >= kHigh) return false;
      digits *= 5;
    }
  } else {
    for (int i = 0; i < exponent; ++i) {
      if (digits % 5 != 0) return false;
      digits /= 5;
    }
  }
  return digits >= kLow && digits < kHigh && digits % 10 == 5;
}

}  // namespace

std::string Format00(double value) { return FixedText(value, 1); }

std::string Format0H0(double value) { return FixedText(value, 2); }

std::string GeneralNumber(double value) {
  if (!std::isfinite(value)) return NonFiniteText(value);
  if (value == 0) return "0";

  // Scientific text gives the significant digits and the decimal exponent.
  char buffer[64];
  std::string mantissa;  // digits only, the first one before the point
  int exponent10 = 0;
  const bool tie = IsSignificantTie(value);
  const int precision = tie ? kSignificantDigits : kSignificantDigits - 1;
  auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                              std::chars_format::scientific, precision);
  std::string_view text(buffer, result.ptr - buffer);
  const std::size_t ePos = text.find('e');
  for (char c : text.substr(0, ePos)) {
    if (c != '.') mantissa.push_back(c);
  }
  std::from_chars(text.data() + ePos + (text[ePos + 1] == '+' ? 2 : 1), text.data() + text.size(),
                  exponent10);
  if (tie) {
    mantissa.pop_back();  // the exact trailing 5: round the magnitude up
    IncrementLastDigit(mantissa);
    if (mantissa.size() > static_cast<std::size_t>(kSignificantDigits)) {
      mantissa.pop_back();
      ++exponent10;
    }
  }
  while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();

  std::string out;
  out.reserve(mantissa.size() + static_cast<std::size_t>(std::abs(exponent10)) + 3);
  if (value < 0) out.push_back('-');
  const int digitCount = static_cast<int>(mantissa.size());
  if (exponent10 < 0) {
    out.append("0.");
    out.append(static_cast<std::size_t>(-exponent10 - 1), '0');
    out.append(mantissa);
  } else if (exponent10 + 1 >= digitCount) {
    out.append(mantissa);
    out.append(static_cast<std::size_t>(exponent10 + 1 - digitCount), '0');
  } else {
    out.append(mantissa, 0, static_cast<std::size_t>(exponent10 + 1));
    out.push_back('.');
    out.append(mantissa, static_cast<std::size_t>(exponent10 + 1), std::string::npos);
  }
  return out;
}

std::string DecimalText(int64_t value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string HexText(uint64_t value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, 16);
  for (char* p = buffer; p != result.ptr; ++p) {
    if (*p >= 'a' && *p <= 'f') *p = static_cast<char>(*p - 'a' + 'A');
  }
  return std::string(buffer, result.ptr);
}

std::string HexText(int64_t value) {
  if (value < 0 && value >= std::numeric_limits<int32_t>::min()) {
    return HexText(static_cast<uint64_t>(static_cast<uint32_t>(value)));
  }
  return HexText(static_cast<uint64_t>(value));
}

}  // namespace pelmora::toolkit
