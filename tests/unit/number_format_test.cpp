// SPDX-License-Identifier: MIT
#include "toolkit/number_format.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace pelmora::toolkit {
namespace {

struct DoubleCase {
  double value;
  const char* expected;
};

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kDenormMin = std::numeric_limits<double>::denorm_min();

TEST(Format00, RoundsToOneDecimalOnTheBinaryValue) {
  const DoubleCase cases[] = {
      {0, "0.0"},           {1, "1.0"},
      {0.2, "0.2"},         {45.67, "45.7"},
      {100, "100.0"},       {12.34, "12.3"},
      {-2.5, "-2.5"},       {130.25, "130.3"},
      {0.25, "0.3"},        {-0.25, "-0.3"},
      {0.75, "0.8"},        {9.95, "9.9"},  // 9.95 < 9.95 exactly
      {9.75, "9.8"},        {99.95, "100.0"},
      {99.96, "100.0"},     {-99.96, "-100.0"},
      {0.05, "0.1"},        {0.35, "0.3"},  // 0.35 is below its halfway point in binary
      {-0.04, "0.0"},       {-0.0, "0.0"},
      {-0.05, "-0.1"},      {1e-300, "0.0"},
      {-kDenormMin, "0.0"}, {kDenormMin, "0.0"},
      {0.96, "1.0"},        {999.95, "1000.0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Format00(c.value), c.expected) << "value " << c.value;
  }
}

TEST(Format0H0, AlwaysShowsTwoDecimals) {
  const DoubleCase cases[] = {
      {45.678, "45.68"}, {7.5, "7.50"},     {12.05, "12.05"},   {12, "12.00"},
      {0, "0.00"},       {-2.5, "-2.50"},   {130.25, "130.25"}, {0.125, "0.13"},
      {-0.125, "-0.13"}, {2.675, "2.67"},   {0.375, "0.38"},    {1.005, "1.00"},  // 1.005 is below
      {-0.004, "0.00"},  {-0.005, "-0.01"}, {99.995, "100.00"}, {99.999, "100.00"},
      {-0.0, "0.00"},    {11.999, "12.00"}, {2.5e-3, "0.00"},  // 0.0025 is below in binary
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Format0H0(c.value), c.expected) << "value " << c.value;
  }
}

// Reference rounding on the exact decimal expansion (a double has at most
// 1074 fractional digits), halfway away from zero, done by hand on the text.
std::string ReferenceFixed(double value, int decimals) {
  std::vector<char> buffer(1500);
  auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), std::fabs(value),
                              std::chars_format::fixed, 1074);
  std::string exact(buffer.data(), result.ptr);
  const std::size_t point = exact.find('.');
  std::string kept = exact.substr(0, point + 1 + static_cast<std::size_t>(decimals));
  if (exact[point + 1 + static_cast<std::size_t>(decimals)] >= '5') {
    std::size_t i = kept.size();
    while (i-- > 0) {
      if (kept[i] == '.') continue;
      if (kept[i] != '9') {
        ++kept[i];
        break;
      }
      kept[i] = '0';
      if (i == 0) kept.insert(0, 1, '1');
    }
  }
  const bool zero = kept.find_first_of("123456789") == std::string::npos;
  return (value < 0 && !zero ? "-" : "") + kept;
}

TEST(FixedFormats, AgreeWithExactReferenceOnRandomAndNearHalfwayValues) {
  std::mt19937_64 random(20240601);
  std::uniform_real_distribution<double> wide(-1e6, 1e6);
  std::uniform_int_distribution<int> cents(-100000, 100000);
  for (int i = 0; i < 1500; ++i) {
    std::vector<double> values = {wide(random)};
    // Values at and one step either side of a halfway point.
    const double halfway = (cents(random) + 0.5) / 100.0;
    const double tenth = (cents(random) + 0.5) / 10.0;
    for (double h : {halfway, tenth}) {
      values.push_back(h);
      values.push_back(std::nextafter(h, 0.0));
      values.push_back(std::nextafter(h, 1e9));
    }
    const double binaryTie = std::ldexp(static_cast<double>(2 * cents(random) + 1), -3);
    values.push_back(binaryTie);
    values.push_back(std::ldexp(binaryTie, 1));
    for (double v : values) {
      ASSERT_EQ(Format00(v), ReferenceFixed(v, 1)) << "value " << v;
      ASSERT_EQ(Format0H0(v), ReferenceFixed(v, 2)) << "value " << v;
    }
  }
}

TEST(NumberFormats, NonFiniteValuesHaveDefinedTexts) {
  using Formatter = std::string (*)(double);
  for (Formatter format : {Formatter{Format00}, Formatter{Format0H0}, Formatter{GeneralNumber}}) {
    EXPECT_EQ(format(kNaN), "NaN");
    EXPECT_EQ(format(-kNaN), "NaN");
    EXPECT_EQ(format(kInf), "\u221E");
    EXPECT_EQ(format(-kInf), "-\u221E");
  }
}

TEST(NumberFormats, HugeValuesPrintAllIntegerDigits) {
  const double huge = std::numeric_limits<double>::max();
  const std::string fixed = Format00(huge);
  ASSERT_EQ(fixed.size(), 309u + 2u);
  EXPECT_EQ(fixed.substr(0, 6), "179769");
  EXPECT_EQ(fixed.substr(309), ".0");

  const std::string hugeTwo = Format0H0(-1e308);
  EXPECT_EQ(hugeTwo.size(), 1u + 309u + 3u);
  EXPECT_EQ(hugeTwo.substr(0, 3), "-10");

  // The general text keeps 15 significant digits and fills with zeros.
  const std::string general = GeneralNumber(huge);
  EXPECT_EQ(general, "179769313486232" + std::string(294, '0'));
  EXPECT_EQ(GeneralNumber(1e308), "1" + std::string(308, '0'));
}

TEST(GeneralNumber, PlainDecimalWithFifteenSignificantDigits) {
  const DoubleCase cases[] = {
      {0, "0"},
      {-0.0, "0"},
      {1.5, "1.5"},
      {-1.5, "-1.5"},
      {523352, "523352"},
      {1536.0 / 1024.0, "1.5"},
      {8523352, "8523352"},
      {1e20, "100000000000000000000"},
      {1e-5, "0.00001"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.3"},  // 0.30000000000000004 at 17 digits
      {1.0 / 3.0, "0.333333333333333"},
      {2.0 / 3.0, "0.666666666666667"},
      {123456789012345678.0, "123456789012346000"},
      {999999999999999.9, "1000000000000000"},
      {0.000123, "0.000123"},
      {100.25, "100.25"},
      {1048575.0 / 1024.0, "1023.9990234375"},
      {-123.456, "-123.456"},
      // Exactly halfway at fifteen digits: away from zero.
      {std::ldexp(1.0, -22), "0.000000238418579101563"},  // 2.384185791015625e-7
      {1000000000000005.0, "1000000000000010"},
      {-1000000000000005.0, "-1000000000000010"},
      {1000000000000015.0, "1000000000000020"},
      // Just off halfway: ordinary rounding.
      {1000000000000004.0, "1000000000000000"},
      {1000000000000006.0, "1000000000000010"},
      {9999999999999995.0, "10000000000000000"},  // stored as ...996
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GeneralNumber(c.value), c.expected) << "value " << c.value;
  }
}

TEST(GeneralNumber, SubnormalsAreWrittenOutInFull) {
  const std::string text = GeneralNumber(kDenormMin);  // 4.94065645841247e-324
  EXPECT_EQ(text, "0." + std::string(323, '0') + "494065645841247");
  EXPECT_EQ(GeneralNumber(-kDenormMin), "-0." + std::string(323, '0') + "494065645841247");
}

struct IntegerCase {
  int64_t value;
  const char* decimal;
  const char* hex;
};

TEST(IntegerTexts, DecimalAndHexadecimal) {
  const IntegerCase cases[] = {
      {0, "0", "0"},
      {255, "255", "FF"},
      {10, "10", "A"},
      {-1, "-1", "FFFFFFFF"},
      {-2, "-2", "FFFFFFFE"},
      {INT32_MAX, "2147483647", "7FFFFFFF"},
      {INT32_MIN, "-2147483648", "80000000"},
      {static_cast<int64_t>(INT32_MIN) - 1, "-2147483649", "FFFFFFFF7FFFFFFF"},
      {0x1'0000'0000LL, "4294967296", "100000000"},
      {0x7F12'3456'789A'BCDELL, "9156438538392878302", "7F123456789ABCDE"},
      {INT64_MAX, "9223372036854775807", "7FFFFFFFFFFFFFFF"},
      {INT64_MIN, "-9223372036854775808", "8000000000000000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecimalText(c.value), c.decimal);
    EXPECT_EQ(HexText(c.value), c.hex) << "value " << c.value;
  }
}

TEST(IntegerTexts, UnsignedHexadecimal) {
  EXPECT_EQ(HexText(uint64_t{0}), "0");
  EXPECT_EQ(HexText(uint64_t{255}), "FF");
  EXPECT_EQ(HexText(uint64_t{0xABCDEF}), "ABCDEF");
  EXPECT_EQ(HexText(UINT64_MAX), "FFFFFFFFFFFFFFFF");
}

}  // namespace
}  // namespace pelmora::toolkit
