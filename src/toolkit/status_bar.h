// SPDX-License-Identifier: MIT
#pragma once
#include <string>
#include <string_view>

namespace pelmora::toolkit {

// A status bar of text panels, numbered from 1.
class StatusBar {
 public:
  virtual ~StatusBar() = default;
  virtual void SetPanelText(int panel, std::string_view text) = 0;
  virtual std::string PanelText(int panel) const = 0;
};

}  // namespace pelmora::toolkit
