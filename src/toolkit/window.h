// SPDX-License-Identifier: MIT
#pragma once
#include <string>
#include <string_view>

namespace pelmora::toolkit {

inline constexpr int kWindowNormal = 0;
inline constexpr int kWindowMinimized = 1;

// The program's one top-level window.
class Window {
 public:
  virtual ~Window() = default;
  virtual void SetCaption(std::string_view caption) = 0;
  virtual std::string Caption() const = 0;
  // kWindowMinimized while the window is minimized.
  virtual int WindowState() const = 0;
  // Ends the program at once: the window closes and no further event
  // procedure runs. The caller returns straight after.
  virtual void EndProgram() = 0;
};

}  // namespace pelmora::toolkit
