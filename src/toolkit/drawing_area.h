// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <string_view>

namespace pelmora::toolkit {

// Colour packed as red + 256 * green + 65536 * blue.
constexpr int32_t Rgb(int32_t red, int32_t green, int32_t blue) {
  return red + 256 * green + 65536 * blue;
}

// A drawing area with a backing image, in pixel coordinates of its inner area.
class DrawingArea {
 public:
  virtual ~DrawingArea() = default;
  virtual void Cls() = 0;
  virtual float ScaleWidth() const = 0;
  virtual float ScaleHeight() const = 0;
  virtual void Line(float x1, float y1, float x2, float y2, int32_t color) = 0;
  virtual void Refresh() = 0;
  // What the picture shows, in words, for assistive tools; each call
  // replaces the last.
  virtual void SetDescription(std::string_view text) = 0;
};

}  // namespace pelmora::toolkit
