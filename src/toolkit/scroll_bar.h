// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>

namespace pelmora::toolkit {

// A horizontal scroll bar with an integer range.
class ScrollBar {
 public:
  virtual ~ScrollBar() = default;
  virtual int16_t Value() const = 0;
};

}  // namespace pelmora::toolkit
