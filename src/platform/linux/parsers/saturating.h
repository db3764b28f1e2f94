// SPDX-License-Identifier: MIT
#pragma once
#include <limits>
#include <type_traits>

namespace pelmora::platform::linux_os {

// a + b, or the largest value of the type where the sum does not fit. For
// counts and sizes: neither may be negative.
template <typename T>
constexpr T SaturatingAdd(T a, T b) {
  static_assert(std::is_integral_v<T>);
  constexpr T kMax = std::numeric_limits<T>::max();
  return a > kMax - b ? kMax : static_cast<T>(a + b);
}

}  // namespace pelmora::platform::linux_os
