// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace pelmora::toolkit {

// A periodic timer. An interval of 0 stops it; setting a positive interval
// starts a full new period.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void SetInterval(int32_t milliseconds) = 0;
  virtual int32_t Interval() const = 0;
  virtual void SetTag(std::string_view tag) = 0;
  virtual std::string Tag() const = 0;
};

}  // namespace pelmora::toolkit
