// SPDX-License-Identifier: MIT
#include "monitor/history.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "fakes/toolkit_fakes.h"

namespace pelmora {
namespace {

using fakes::RecordingDrawingArea;
using monitor::History;
using Segment = RecordingDrawingArea::Segment;

constexpr int32_t kGrid = 150 * 256;
constexpr int32_t kCpu = 255 * 256;
constexpr int32_t kMemory = 255 + 255 * 256;

TEST(History, PushMovesEverySampleTowardsTheOldEnd) {
  History h;
  h.PushSample(11, 22);
  EXPECT_EQ(h.Sample(0, 50), 11);
  EXPECT_EQ(h.Sample(1, 50), 22);
  for (int i = 0; i < 50; ++i) h.PushSample(static_cast<float>(i), 0);
  EXPECT_EQ(h.Sample(0, 0), 11);
  EXPECT_EQ(h.Sample(1, 0), 22);
  EXPECT_EQ(h.Sample(0, 50), 49);
  h.PushSample(-3.5f, 130.25f);
  EXPECT_EQ(h.Sample(0, 0), 0) << "the first sample is gone after 52 pushes";
  EXPECT_EQ(h.Sample(0, 50), -3.5f) << "nothing is clamped";
  EXPECT_EQ(h.Sample(1, 50), 130.25f);
  // Stored series by series.
  EXPECT_EQ(h.values[50], -3.5f);
  EXPECT_EQ(h.values[101], 130.25f);
}

TEST(History, WarmUpDrawsOnlyTheGrid) {
  History h;
  h.WarmUpCount = 50;
  h.PushSample(40, 60);
  RecordingDrawingArea area(106, 106);
  h.DrawGraph(area);

  std::vector<Segment> grid;
  for (float y : {3, 23, 43, 63, 83, 103}) grid.push_back({3, y, 103, y, kGrid});
  for (int i = 0; i <= 10; ++i) {
    const float x = 3 + 10.0f * i;
    grid.push_back({x, 3, x, 103, kGrid});
  }
  EXPECT_EQ(area.lines, grid);
  EXPECT_EQ(area.calls.front(), "Cls");
  EXPECT_EQ(area.calls.back(), "Refresh");
  EXPECT_EQ(area.calls.size(), 19u);
}

TEST(History, CurvesJoinTheSlotsFromWarmUpOn) {
  History h;
  for (int i = 0; i < 51; ++i) h.PushSample(0, 100);
  h.PushSample(120, 50);
  h.WarmUpCount = 49;
  RecordingDrawingArea area(106, 106);
  h.DrawGraph(area);
  ASSERT_EQ(area.lines.size(), 19u);
  // 0 % on the bottom grid line, 120 % above the top one; memory over CPU.
  EXPECT_EQ(area.lines[17], (Segment{101, 103, 103, -17, kCpu}));
  EXPECT_EQ(area.lines[18], (Segment{101, 3, 103, 53, kMemory}));

  h.WarmUpCount = 0;
  area.lines.clear();
  h.DrawGraph(area);
  ASSERT_EQ(area.lines.size(), 17u + 100u);
  EXPECT_EQ(area.lines[17], (Segment{3, 103, 5, 103, kCpu}));
  EXPECT_EQ(area.lines[17 + 50], (Segment{3, 3, 5, 3, kMemory}));
}

TEST(History, PointsRoundHalfToEven) {
  History h;
  h.WarmUpCount = 0;
  RecordingDrawingArea area(31, 106);
  h.DrawGraph(area);
  // Slot k lies at 0.5k + 3: slot 1 (3.5) and slot 3 (4.5) on 4, slot 5 (5.5) on 6.
  const auto& first = area.lines[17];
  EXPECT_EQ(first.x1, 3);
  EXPECT_EQ(first.x2, 4);
  EXPECT_EQ(area.lines[17 + 2].x2, 4);
  EXPECT_EQ(area.lines[17 + 4].x2, 6);
  // Grid lines keep their fractions: (31 - 6) * i / 10 + 3.
  EXPECT_EQ(area.lines[6].x1, 3);
  EXPECT_EQ(area.lines[7].x1, 5.5f);

  History y;
  y.WarmUpCount = 49;
  y.PushSample(0.5f, 1.5f);  // y = 103 - 0.5 and 103 - 1.5
  RecordingDrawingArea tall(106, 106);
  y.DrawGraph(tall);
  EXPECT_EQ(tall.lines[17].y2, 102);
  EXPECT_EQ(tall.lines[18].y2, 102);
}

TEST(History, DrawingTwiceGivesTheSameCalls) {
  History h;
  for (int i = 0; i < 30; ++i) h.PushSample(i * 3.3f, 100 - i * 1.7f);
  h.WarmUpCount = 20;
  RecordingDrawingArea area(141, 69);
  h.DrawGraph(area);
  const auto first = area.calls;
  area.calls.clear();
  h.DrawGraph(area);
  EXPECT_EQ(area.calls, first);
}

// The graph in words: the latest figures, and their range over the slots
// drawn (those before WarmUpCount are not); told to the area with it.
TEST(History, DescriptionGivesTheLatestFiguresAndTheirRange) {
  History h;
  h.PushSample(99, 99);  // left of the slots drawn
  for (float v : {12.25f, 3.0f, 40.25f, std::nanf(""), 7.5f}) h.PushSample(v, 100 - v);
  h.WarmUpCount = 46;
  RecordingDrawingArea area;
  h.DrawGraph(area);
  EXPECT_EQ(area.description,
            "CPU負荷率 7.5%（直近5回 最小 3.0%、最大 40.3%）、"
            "物理メモリ使用率 92.5%（最小 59.8%、最大 97.0%）");
  h.WarmUpCount = 50;
  EXPECT_EQ(h.Description(),
            "CPU負荷率 7.5%（直近1回 最小 7.5%、最大 7.5%）、"
            "物理メモリ使用率 92.5%（最小 92.5%、最大 92.5%）");
}

TEST(History, RoundingSaturatesWhereASampleCannotBeDrawn) {
  EXPECT_EQ(monitor::RoundHalfEven(2.5), 2);
  EXPECT_EQ(monitor::RoundHalfEven(-2.5), -2);
  EXPECT_EQ(monitor::RoundHalfEven(1e300), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(monitor::RoundHalfEven(-1e300), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(monitor::RoundHalfEven(std::nan("")), 0);

  History h;
  h.WarmUpCount = 49;
  h.PushSample(std::numeric_limits<float>::infinity(), std::nanf(""));
  RecordingDrawingArea area(141, 69);
  h.DrawGraph(area);
  EXPECT_EQ(area.lines.size(), 19u);
}

}  // namespace
}  // namespace pelmora
