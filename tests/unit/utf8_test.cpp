// SPDX-License-Identifier: MIT
#include "toolkit/utf8.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace pelmora::toolkit {
namespace {

const std::string kR(kReplacementCharacter);

struct Utf8Case {
  std::string input;
  std::string expected;
};

TEST(SanitizeUtf8, EachMaximalInvalidSequenceBecomesOneReplacement) {
  const Utf8Case cases[] = {
      {"", ""},
      {"/usr/bin/top", "/usr/bin/top"},
      {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
      {"プロセス", "プロセス"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},          // U+1F600
      {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},          // U+10FFFF, the last code point
      {"\xEF\xBF\xBD", "\xEF\xBF\xBD"},                  // U+FFFD itself stays
      {std::string("a\0b", 3), std::string("a\0b", 3)},  // NUL is valid
      {"\xFF", kR},
      {"a\xFE"
       "b",
       "a" + kR + "b"},
      {"\x80\xBF", kR + kR},  // stray continuation bytes
      {"\xE3\x81"
       "a",
       kR + "a"},            // cut three-byte sequence
      {"\xE3\x81", kR},      // cut at the end
      {"\xF0\x9F\x98", kR},  // cut four-byte sequence
      {"\xF0\x9F\x98\xF0\x9F\x98\x80", kR + "\xF0\x9F\x98\x80"},
      {"\xC0\xAF", kR + kR},  // overlong "/"
      {"\xC1\xBF", kR + kR},
      {"\xE0\x80\xAF", kR + kR + kR},           // overlong, three bytes
      {"\xF0\x80\x80\xAF", kR + kR + kR + kR},  // overlong, four bytes
      {"\xED\xA0\x80", kR + kR + kR},           // surrogate U+D800
      {"\xED\x9F\xBF", "\xED\x9F\xBF"},         // U+D7FF, just below
      {"\xF4\x90\x80\x80", kR + kR + kR + kR},  // beyond U+10FFFF
      {"\xF5\x80", kR + kR},
      {"\xC3"
       "A",
       kR + "A"},                                   // lead byte then ASCII
      {"abcdefghijklmnop\xFFqrstuvwxyz0123456789",  // inside long ASCII runs
       "abcdefghijklmnop" + kR + "qrstuvwxyz0123456789"},
      {"\xE2\x82\xAC\xE2\x82", "\xE2\x82\xAC" + kR},
  };
  std::string out;
  for (const Utf8Case& c : cases) {
    SanitizeUtf8(c.input, out);
    EXPECT_EQ(out, c.expected) << "input of " << c.input.size() << " bytes";
    EXPECT_EQ(ValidUtf8Prefix(out), out.size());
  }
}

TEST(SanitizeUtf8, ValidPrefixStopsAtTheFirstFault) {
  EXPECT_EQ(ValidUtf8Prefix("abc"), 3u);
  EXPECT_EQ(ValidUtf8Prefix("abcdefghij\xC3\xA9\xFF"), 12u);
  EXPECT_EQ(ValidUtf8Prefix("\xE3\x81"), 0u);
  EXPECT_EQ(ValidUtf8Prefix("ab\xED\xA0\x80"), 2u);
}

TEST(SanitizeUtf8, ReusesTheOutputBuffer) {
  std::string out;
  out.reserve(256);
  const char* buffer = out.data();
  SanitizeUtf8("/usr/lib/systemd/systemd-journald", out);
  SanitizeUtf8("/tmp/\xFF\xFEname\xE3\x81", out);
  EXPECT_EQ(out.data(), buffer);
  EXPECT_EQ(out, "/tmp/" + kR + kR + "name" + kR);
}

TEST(SanitizeUtf8, RandomBytesAlwaysGiveValidText) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> length(0, 64);
  std::string input;
  std::string out;
  std::string again;
  for (int i = 0; i < 20000; ++i) {
    input.clear();
    const int size = length(random);
    for (int j = 0; j < size; ++j) {
      // Mostly bytes that start or continue sequences, to reach deep paths.
      const int b = byte(random);
      input.push_back(static_cast<char>(b < 64 ? b : 0x80 | (b & 0x7F)));
    }
    SanitizeUtf8(input, out);
    ASSERT_EQ(ValidUtf8Prefix(out), out.size());
    // Sanitised text is a fixed point.
    SanitizeUtf8(out, again);
    ASSERT_EQ(again, out);
    // Never more than one replacement per input byte.
    ASSERT_LE(out.size(), 3 * input.size());
  }
}

}  // namespace
}  // namespace pelmora::toolkit
