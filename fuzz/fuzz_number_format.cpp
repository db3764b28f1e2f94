// SPDX-License-Identifier: MIT
// The number texts on arbitrary doubles and integers: NaN, infinities,
// signed zeros, subnormals and the largest values included. The fixed
// patterns and the general text are checked against the exact decimal
// expansion of the double, rounded by hand.
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "check.h"
#include "toolkit/number_format.h"

using namespace pelmora::toolkit;

namespace {

// The exact decimal expansion of |value|: integer digits and 1100 decimals,
// enough for the smallest subnormal.
struct Exact {
  std::string integer;
  std::string fraction;
};

Exact ExactDecimal(double value) {
  static char buffer[1500];
  const int n = std::snprintf(buffer, sizeof buffer, "%.1100f", std::fabs(value));
  FUZZ_CHECK(n > 0 && static_cast<size_t>(n) < sizeof buffer);
  const std::string_view text(buffer, static_cast<size_t>(n));
  const size_t point = text.find('.');
  return {std::string(text.substr(0, point)), std::string(text.substr(point + 1))};
}

// Adds one to a string of digits.
void Increment(std::string& digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return;
    }
    digits[i] = '0';
  }
  digits.insert(0, 1, '1');
}

bool AllZero(std::string_view digits) {
  return digits.find_first_not_of('0') == std::string_view::npos;
}

// `decimals` decimals, halves away from zero, no sign on a zero result.
std::string FixedReference(double value, const Exact& exact, int decimals) {
  std::string digits = exact.integer + exact.fraction.substr(0, decimals);
  if (exact.fraction[decimals] >= '5') Increment(digits);
  std::string text =
      digits.substr(0, digits.size() - decimals) + "." + digits.substr(digits.size() - decimals);
  if (std::signbit(value) && !AllZero(digits)) text.insert(0, 1, '-');
  return text;
}

// Fifteen significant digits, halves away from zero, plain decimal without
// trailing fractional zeros.
std::string GeneralReference(double value, const Exact& exact) {
  if (value == 0) return "0";
  std::string all = exact.integer + exact.fraction;
  const size_t first = all.find_first_not_of('0');
  // Position of the point within `all`.
  const long pointAt = static_cast<long>(exact.integer.size());
  std::string significant = all.substr(first, 15);
  significant.append(15 - significant.size(), '0');
  long exponent = pointAt - static_cast<long>(first);  // digits before the point
  if (first + 15 < all.size() && all[first + 15] >= '5') {
    Increment(significant);
    if (significant.size() > 15) {
      significant.pop_back();
      ++exponent;
    }
  }
  std::string text;
  if (exponent <= 0) {
    text = "0." + std::string(static_cast<size_t>(-exponent), '0') + significant;
  } else if (exponent >= 15) {
    text = significant + std::string(static_cast<size_t>(exponent - 15), '0');
  } else {
    text = significant.substr(0, exponent) + "." + significant.substr(exponent);
  }
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (value < 0) text.insert(0, 1, '-');
  return text;
}

void CheckDouble(double value) {
  const std::string f1 = Format00(value);
  const std::string f2 = Format0H0(value);
  const std::string general = GeneralNumber(value);
  if (std::isnan(value)) {
    FUZZ_CHECK(f1 == "NaN" && f2 == "NaN" && general == "NaN");
    return;
  }
  if (std::isinf(value)) {
    const std::string infinity = value < 0 ? "-\u221E" : "\u221E";
    FUZZ_CHECK(f1 == infinity && f2 == infinity && general == infinity);
    return;
  }
  const Exact exact = ExactDecimal(value);
  FUZZ_CHECK(f1 == FixedReference(value, exact, 1));
  FUZZ_CHECK(f2 == FixedReference(value, exact, 2));
  FUZZ_CHECK(general == GeneralReference(value, exact));
  // The general text reads back to within its fifteen digits (and, below
  // the normal range, to within the spacing of the subnormals).
  // Read in long double: near the largest double the rounded text lies
  // beyond the range of double.
  const long double back = std::strtold(general.c_str(), nullptr);
  const long double v = value;
  FUZZ_CHECK(std::fabs(back - v) <= std::fabs(v) * 1e-14L + 5e-324L);
}

void CheckIntegers(int64_t s, uint64_t u) {
  FUZZ_CHECK(DecimalText(s) == std::to_string(s));
  const std::string hex = HexText(u);
  FUZZ_CHECK(!hex.empty() && hex.size() <= 16);
  FUZZ_CHECK(hex.find_first_not_of("0123456789ABCDEF") == std::string::npos);
  FUZZ_CHECK(hex == "0" || hex[0] != '0');
  FUZZ_CHECK(std::strtoull(hex.c_str(), nullptr, 16) == u);

  const std::string signedHex = HexText(s);
  if (s < 0 && s >= INT32_MIN) {
    FUZZ_CHECK(signedHex.size() == 8);
    FUZZ_CHECK(std::strtoull(signedHex.c_str(), nullptr, 16) == static_cast<uint32_t>(s));
  } else {
    FUZZ_CHECK(signedHex == HexText(static_cast<uint64_t>(s)));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Every eight bytes are one double's bits and one integer.
  for (size_t at = 0; at + 8 <= size && at < 8 * 16; at += 8) {
    uint64_t bits = 0;
    std::memcpy(&bits, data + at, 8);
    double value = 0;
    std::memcpy(&value, &bits, 8);
    CheckDouble(value);
    CheckIntegers(static_cast<int64_t>(bits), bits);
    // Small integers and their neighbours, which the window shows most.
    const int64_t small = static_cast<int64_t>(bits % 2000000) - 1000000;
    CheckDouble(static_cast<double>(small) / 100.0);
    CheckDouble(static_cast<double>(small) / 1024.0);
  }
  return 0;
}
