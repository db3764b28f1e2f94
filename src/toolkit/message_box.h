// SPDX-License-Identifier: MIT
#pragma once
#include <string_view>

namespace pelmora::toolkit {

inline constexpr int kMbOkExclamation = 48;        // OK, exclamation icon
inline constexpr int kMbOkCancelExclamation = 49;  // OK and Cancel, OK the default
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// Modal message boxes. Returns the button pressed (kIdOk for OK).
class MessageBox {
 public:
  virtual ~MessageBox() = default;
  virtual int MsgBox(std::string_view prompt, int style, std::string_view title) = 0;
};

}  // namespace pelmora::toolkit
