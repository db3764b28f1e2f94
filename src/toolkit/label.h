// SPDX-License-Identifier: MIT
#pragma once
#include <string_view>

namespace pelmora::toolkit {

class Label {
 public:
  virtual ~Label() = default;
  virtual void SetCaption(std::string_view caption) = 0;
};

}  // namespace pelmora::toolkit
