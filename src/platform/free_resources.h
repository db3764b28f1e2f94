// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <optional>

namespace pelmora::platform {

inline constexpr int32_t kResourceSystem = 0;  // the kernel's task slots
inline constexpr int32_t kResourceGdi = 1;     // the system's file handles
inline constexpr int32_t kResourceUser = 2;    // the user's own task budget

class FreeResources {
 public:
  virtual ~FreeResources() = default;
  // Percent of the resource still free, 0 to 100; nullopt when its source
  // cannot be read.
  virtual std::optional<int32_t> GetFreeSystemResources(int32_t selector) = 0;
};

}  // namespace pelmora::platform
