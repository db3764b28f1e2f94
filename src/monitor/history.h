// SPDX-License-Identifier: MIT
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "toolkit/drawing_area.h"

namespace pelmora::monitor {

// The last 51 samples of CPU load and physical-memory use, and their graph.
class History {
 public:
  static constexpr int kSamples = 51;
  static constexpr int kSeries = 2;
  static constexpr int32_t kGridColor = toolkit::Rgb(0, 150, 0);

  // Moves every sample one slot towards the old end; the pair enters slot 50.
  void PushSample(float cpu, float memory);
  // Clears the area and draws the grid and both curves from WarmUpCount on;
  // then describes them in words (Description) for assistive tools.
  void DrawGraph(toolkit::DrawingArea& area) const;
  // The latest CPU load and memory use, and the lowest and highest of each
  // over the slots the graph draws, as in "CPU負荷率 12.5%（直近51回 最小
  // 3.0%、最大 40.2%）、物理メモリ使用率 45.7%（最小 45.1%、最大 46.0%）".
  std::string Description() const;

  float Sample(int series, int slot) const { return values[series * kSamples + slot]; }

  // Series by series: the 51 CPU samples, then the 51 memory samples.
  std::array<float, kSeries * kSamples> values{};
  int16_t WarmUpCount = 0;

 private:
  // The oldest slot the graph draws: WarmUpCount, within the slots.
  int FirstDrawnSlot() const;
};

// Rounds to the nearest 32-bit integer, halfway to even; out-of-range values
// saturate and NaN gives 0.
int32_t RoundHalfEven(double value);

}  // namespace pelmora::monitor
