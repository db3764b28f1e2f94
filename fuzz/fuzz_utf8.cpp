// SPDX-License-Identifier: MIT
// Decoding of OS byte strings (paths, command names) into UTF-8 for the
// window: any bytes in, valid UTF-8 out, with one U+FFFD per maximal invalid
// subpart. Checked against a reference that decides by code-point values
// rather than by the byte table the decoder uses.
#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "toolkit/utf8.h"

using pelmora::toolkit::kReplacementCharacter;
using pelmora::toolkit::SanitizeUtf8;
using pelmora::toolkit::ValidUtf8Prefix;

namespace {

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// The byte count a lead byte announces; 0 for a byte that leads nothing.
int AnnouncedLength(unsigned char b) {
  if (b >= 0xC0 && b <= 0xDF) return 2;
  if (b >= 0xE0 && b <= 0xEF) return 3;
  if (b >= 0xF0 && b <= 0xF7) return 4;
  return 0;
}

// Whether the first k bytes of an n-byte sequence can still be completed to
// a scalar value: the code points its completions span must meet the
// allowed range for n bytes outside the surrogates.
bool Completable(const unsigned char* p, int k, int n) {
  static constexpr uint32_t kLeadMask[] = {0, 0, 0x1F, 0x0F, 0x07};
  static constexpr uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  uint32_t lo = p[0] & kLeadMask[n];
  uint32_t hi = lo;
  for (int i = 1; i < n; ++i) {
    const uint32_t bits = i < k ? (p[i] & 0x3Fu) : 0;
    lo = (lo << 6) | bits;
    hi = (hi << 6) | (i < k ? bits : 0x3Fu);
  }
  const uint32_t from = lo > kMinimum[n] ? lo : kMinimum[n];
  const uint32_t to = hi < 0x10FFFF ? hi : 0x10FFFF;
  if (from > to) return false;
  const bool allSurrogate = from >= 0xD800 && to <= 0xDFFF;
  return !allSurrogate;
}

std::string Reference(std::string_view text, size_t& validPrefix) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  std::string out;
  validPrefix = size;
  size_t pos = 0;
  while (pos < size) {
    if (p[pos] < 0x80) {
      out.push_back(static_cast<char>(p[pos++]));
      continue;
    }
    const int n = AnnouncedLength(p[pos]);
    int k = 1;
    if (n != 0) {
      while (k < n && pos + k < size && IsContinuation(p[pos + k]) &&
             Completable(p + pos, k + 1, n)) {
        ++k;
      }
    }
    if (n != 0 && k == n && Completable(p + pos, n, n)) {
      out.append(text.substr(pos, n));
    } else {
      if (validPrefix == size) validPrefix = pos;
      out.append(kReplacementCharacter);
    }
    pos += k;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t referencePrefix = 0;
  const std::string expected = Reference(text, referencePrefix);

  std::string out = "left over from before";
  SanitizeUtf8(text, out);
  FUZZ_CHECK(out == expected);
  FUZZ_CHECK(ValidUtf8Prefix(text) == referencePrefix);
  // The output is valid, sanitising it changes nothing, and valid text
  // passes unchanged.
  FUZZ_CHECK(ValidUtf8Prefix(out) == out.size());
  std::string twice;
  SanitizeUtf8(out, twice);
  FUZZ_CHECK(twice == out);
  if (referencePrefix == size) FUZZ_CHECK(out == text);
  // Never more than three bytes out for one byte in.
  FUZZ_CHECK(out.size() <= 3 * size);
  return 0;
}
