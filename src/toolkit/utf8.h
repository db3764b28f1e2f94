// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace pelmora::toolkit {

// The Unicode replacement character U+FFFD in UTF-8.
inline constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// Length of the valid UTF-8 prefix of text (text.size() when all is valid).
std::size_t ValidUtf8Prefix(std::string_view text);

// Copies text into out (replacing its content), turning each maximal invalid
// byte sequence into one U+FFFD: a truncated sequence becomes one replacement,
// a stray continuation byte or a byte that never starts a sequence one each.
// Overlong forms, surrogates and code points beyond U+10FFFF are invalid.
// Valid text passes unchanged; out's capacity is reused.
void SanitizeUtf8(std::string_view text, std::string& out);

}  // namespace pelmora::toolkit
