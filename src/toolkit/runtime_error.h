// SPDX-License-Identifier: MIT
#pragma once
#include <stdexcept>

namespace pelmora::toolkit {

// A run-time error: it ends the running event procedure.
class RuntimeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace pelmora::toolkit
