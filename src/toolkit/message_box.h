// SPDX-License-Identifier: MIT
#pragma once
#include <string_view>

namespace pelmora::toolkit {

inline constexpr int kMbOkExclamation = 48;        // OK, exclamation icon
inline constexpr int kMbOkCancelExclamation = 49;  // OK and Cancel, OK the default
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

// Messages to the user.
class MessageBox {
 public:
  virtual ~MessageBox() = default;
  // A modal message box. Returns the button pressed (kIdOk for OK).
  virtual int MsgBox(std::string_view prompt, int style, std::string_view title) = 0;
  // Tells assistive tools (a screen reader) a message, such as the outcome
  // of an action, without showing anything.
  virtual void Announce(std::string_view message) = 0;
};

}  // namespace pelmora::toolkit
