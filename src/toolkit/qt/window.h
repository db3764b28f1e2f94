// SPDX-License-Identifier: MIT
#pragma once
#include <string>
#include <string_view>

#include "toolkit/window.h"

class QWidget;

namespace pelmora::toolkit::qt {

// The program's top-level window as the logic sees it.
class QtWindow : public toolkit::Window {
 public:
  explicit QtWindow(QWidget& form) : form_(form) {}

  // Leaves the title alone when it is the same.
  void SetCaption(std::string_view caption) override;
  std::string Caption() const override;
  int WindowState() const override;
  // Hides the window, marks the program ended (no event procedure may run
  // after this: check Ended() before dispatching one) and leaves the event
  // loop; called before the loop runs, the loop ends as soon as it starts.
  void EndProgram() override;
  bool Ended() const { return ended_; }

 private:
  QWidget& form_;
  bool ended_ = false;
};

}  // namespace pelmora::toolkit::qt
