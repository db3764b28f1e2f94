// SPDX-License-Identifier: MIT
#include "monitor/history.h"

#include <cmath>
#include <limits>

#include "toolkit/number_format.h"

namespace pelmora::monitor {

void History::PushSample(float cpu, float memory) {
  for (int i = 1; i < kSamples; ++i) {
    values[i - 1] = values[i];
    values[kSamples + i - 1] = values[kSamples + i];
  }
  values[kSamples - 1] = cpu;
  values[2 * kSamples - 1] = memory;
}

int32_t RoundHalfEven(double value) {
  if (std::isnan(value)) return 0;
  const double rounded = std::nearbyint(value);  // the default rounding mode: half to even
  if (rounded >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (rounded <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(rounded);
}

int History::FirstDrawnSlot() const {
  return WarmUpCount < 0 ? 0 : (WarmUpCount > kSamples - 1 ? kSamples - 1 : WarmUpCount);
}

void History::DrawGraph(toolkit::DrawingArea& area) const {
  area.Cls();
  const double w = area.ScaleWidth();
  const double h = area.ScaleHeight();

  for (int i = 0; i <= 5; ++i) {
    const double y = (h - 6) / 5 * i + 3;
    area.Line(3, static_cast<float>(y), static_cast<float>(w - 3), static_cast<float>(y),
              kGridColor);
  }
  for (int i = 0; i <= 10; ++i) {
    const double x = (w - 6) * i / 10 + 3;
    area.Line(static_cast<float>(x), 3, static_cast<float>(x), static_cast<float>(h - 3),
              kGridColor);
  }

  const int first = FirstDrawnSlot();
  for (int s = 0; s < kSeries; ++s) {
    const int32_t color = toolkit::Rgb(s * 255, 255, 0);
    int32_t prevX = 0;
    int32_t prevY = 0;
    for (int k = first; k < kSamples; ++k) {
      const int32_t x = RoundHalfEven((w - 6) / 50 * k + 3);
      const int32_t y = RoundHalfEven(((h - 6) + 3) - (h - 6) / 100 * Sample(s, k));
      if (k > first) {
        area.Line(static_cast<float>(prevX), static_cast<float>(prevY), static_cast<float>(x),
                  static_cast<float>(y), color);
      }
      prevX = x;
      prevY = y;
    }
  }
  area.Refresh();
  area.SetDescription(Description());
}

std::string History::Description() const {
  const int first = FirstDrawnSlot();
  std::string text;
  for (int s = 0; s < kSeries; ++s) {
    // NaN, which no comparison picks, never stands for the lowest or highest.
    float lowest = Sample(s, kSamples - 1);
    float highest = lowest;
    for (int k = first; k < kSamples; ++k) {
      const float v = Sample(s, k);
      if (v < lowest || std::isnan(lowest)) lowest = v;
      if (v > highest || std::isnan(highest)) highest = v;
    }
    text += s == 0 ? "CPU負荷率 " : "、物理メモリ使用率 ";
    text += toolkit::Format00(Sample(s, kSamples - 1)) + "%（";
    if (s == 0) text += "直近" + std::to_string(kSamples - first) + "回 ";
    text += "最小 " + toolkit::Format00(lowest) + "%、最大 " + toolkit::Format00(highest) + "%）";
  }
  return text;
}

}  // namespace pelmora::monitor
