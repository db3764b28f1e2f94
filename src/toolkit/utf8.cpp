// SPDX-License-Identifier: MIT
#include "toolkit/utf8.h"

#include <cstdint>
#include <cstring>

namespace pelmora::toolkit {
namespace {

// Length of the well-formed sequence that starts at text[pos], or the length
// of its longest valid prefix negated (at least 1 byte) when it is ill-formed.
// Follows the table of well-formed byte sequences: the second byte's range
// depends on the lead byte, so overlong forms and surrogates fail early.
int SequenceAt(const unsigned char* p, std::size_t remaining) {
  const unsigned char lead = p[0];
  if (lead < 0x80) return 1;
  int length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing beyond U+10FFFF
  } else {
    return -1;  // a continuation byte, C0, C1 or F5..FF
  }
  if (remaining < 2 || p[1] < low || p[1] > high) return -1;
  for (int i = 2; i < length; ++i) {
    if (static_cast<std::size_t>(i) >= remaining || p[i] < 0x80 || p[i] > 0xBF) return -i;
  }
  return length;
}

// Skips a run of ASCII bytes eight at a time.
std::size_t SkipAscii(const unsigned char* p, std::size_t pos, std::size_t size) {
  while (pos + 8 <= size) {
    uint64_t block;
    std::memcpy(&block, p + pos, sizeof block);
    if (block & 0x8080808080808080ULL) break;
    pos += 8;
  }
  while (pos < size && p[pos] < 0x80) ++pos;
  return pos;
}

}  // namespace

std::size_t ValidUtf8Prefix(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t pos = 0;
  while (true) {
    pos = SkipAscii(p, pos, size);
    if (pos >= size) return size;
    const int length = SequenceAt(p + pos, size - pos);
    if (length < 0) return pos;
    pos += static_cast<std::size_t>(length);
  }
}

void SanitizeUtf8(std::string_view text, std::string& out) {
  std::size_t valid = ValidUtf8Prefix(text);
  if (valid == text.size()) {
    out.assign(text);
    return;
  }
  out.assign(text.substr(0, valid));
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t pos = valid;
  while (pos < size) {
    const std::size_t runEnd = SkipAscii(p, pos, size);
    if (runEnd > pos) {
      out.append(text.substr(pos, runEnd - pos));
      pos = runEnd;
      continue;
    }
    const int length = SequenceAt(p + pos, size - pos);
    if (length > 0) {
      out.append(text.substr(pos, static_cast<std::size_t>(length)));
      pos += static_cast<std::size_t>(length);
    } else {
      out.append(kReplacementCharacter);
      pos += static_cast<std::size_t>(-length);
    }
  }
}

}  // namespace pelmora::toolkit
