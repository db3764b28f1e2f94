// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <string>

namespace pelmora::toolkit {

// Pattern "0.0": one decimal, always shown; at least one digit before the point.
std::string Format00(double value);
// Pattern "0.#0": two decimals.
std::string Format0H0(double value);
// General text of a double: plain decimal, at most 15 significant digits,
// no trailing fractional zeros and no bare decimal point.
std::string GeneralNumber(double value);
// Decimal text, "-" before a negative value.
std::string DecimalText(int64_t value);
// Upper-case hexadecimal without prefix or leading zeros. A negative value
// within 32 bits shows as its 32-bit two's complement (eight digits);
// below that as its 64-bit two's complement.
std::string HexText(int64_t value);
std::string HexText(uint64_t value);

}  // namespace pelmora::toolkit
