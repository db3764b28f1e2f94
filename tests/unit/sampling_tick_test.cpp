// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/form_harness.h"

namespace pelmora {
namespace {

using fakes::FormHarness;
using fakes::Process;

TEST(SamplingTick, WarmUpCountsDownFromTheStartMarker) {
  FormHarness h;
  h.Start();
  EXPECT_EQ(h.window->GraphHistory().WarmUpCount, 50);
  EXPECT_EQ(h.timer.tag, "");
  for (int expected = 49; expected >= 0; --expected) {
    h.window->Timer1_Timer();
    ASSERT_EQ(h.window->GraphHistory().WarmUpCount, expected);
  }
  h.window->Timer1_Timer();
  EXPECT_EQ(h.window->GraphHistory().WarmUpCount, 0);
}

TEST(SamplingTick, FirstTickFillsEveryFigureInOrder) {
  FormHarness h;
  h.window->Form_Load();
  h.log.clear();
  h.window->Form_Activate();

  // Memory: 523352 KB total, 261676 KB available; page file 2048 KB, 1024
  // free; virtual 525400 KB, 262700 KB available.
  const std::vector<std::string> expected = {
      "Caption=Pelmora Ver.2.0",
      "Label1(1)=523352 KB",
      "Label1(3)=261676 KB",
      "Label1(5)=50.00 % ",
      "Label1(7)=525400 KB",
      "Label1(9)=262700 KB",
      "Label1(11)=50.00 % ",
      "Label1(13)=2048 KB",
      "Label1(15)=1024 KB",
      "Label1(17)=50.00 % ",
      "Resource0",
      "Label1(19)=90 %",
      "Resource2",
      "Label1(21)=70 %",
      "Resource1",
      "Label1(23)=80 %",
      "Panel2=CPU負荷率 : 0.00%",
  };
  EXPECT_EQ(h.log, expected);
  EXPECT_EQ(h.picture.calls.front(), "Cls");
  EXPECT_EQ(h.picture.calls.size(), 19u) << "the first tick draws only the grid";
}

TEST(SamplingTick, MinimizedTicksWriteOnlyTheCaptionAndTheHistory) {
  FormHarness h;
  h.Start();
  h.form.minimized = true;
  h.services.memory.status.dwAvailPhys =
      h.services.memory.status.dwTotalPhys * 5433 / 10000;  // 45.67 % in use
  h.services.NextSample(10000, 8766);                       // 12.34 % busy
  h.log.clear();
  h.picture.calls.clear();
  const int snapshots = h.services.processes.snapshots;
  h.window->Timer1_Timer();

  EXPECT_EQ(h.log, (std::vector<std::string>{"Caption=CPU:12.3% ", "Caption=CPU:12.3% Mem:45.7%"}));
  EXPECT_TRUE(h.picture.calls.empty());
  EXPECT_EQ(h.services.processes.snapshots, snapshots);
  EXPECT_FLOAT_EQ(h.window->GraphHistory().Sample(0, 50), 12.34f);
  EXPECT_EQ(h.window->GraphHistory().WarmUpCount, 49);

  // Restored: the next tick writes everything again, with the samples taken
  // while minimized in the graph.
  h.form.minimized = false;
  h.services.NextSample(1000, 1000);
  h.window->Timer1_Timer();
  EXPECT_EQ(h.form.caption, "Pelmora Ver.2.0");
  EXPECT_EQ(h.labels[5]->caption, "45.67 % ");
  EXPECT_EQ(h.picture.lines.size(), 17u + 2 * 2);
}

TEST(SamplingTick, CpuFiguresPassUnclamped) {
  struct Case {
    int32_t idleDelta;  // over 10 s
    std::string panel;
    float stored;
  };
  for (const Case& c :
       {Case{10250, "CPU負荷率 : -2.50%", -2.5f}, Case{-3025, "CPU負荷率 : 130.25%", 130.25f},
        Case{9250, "CPU負荷率 : 7.50%", 7.5f}}) {
    FormHarness h;
    h.Start();
    h.services.NextSample(10000, c.idleDelta);
    h.window->Timer1_Timer();
    EXPECT_EQ(h.statusBar.panels[1], c.panel);
    EXPECT_EQ(h.window->GraphHistory().Sample(0, 50), c.stored);
  }
}

TEST(SamplingTick, EachProcessSetChangeRebuildsOnce) {
  FormHarness h;
  h.Start();
  ASSERT_EQ(h.list.updates, 1);

  h.window->Timer1_Timer();
  EXPECT_EQ(h.list.updates, 1) << "an unchanged set rebuilds nothing";

  h.services.processes.processes.push_back(Process("/usr/bin/new", 300));
  h.window->Timer1_Timer();
  EXPECT_EQ(h.list.updates, 2);
  EXPECT_EQ(h.statusBar.panels[2], "3");
  h.window->Timer1_Timer();
  EXPECT_EQ(h.list.updates, 2);

  h.services.processes.processes.pop_back();
  h.window->Timer1_Timer();
  EXPECT_EQ(h.list.updates, 3);

  h.services.processes.processes.back().szExeFile = base::SharedText("/usr/bin/Bar");
  h.window->Timer1_Timer();
  EXPECT_EQ(h.list.updates, 4);
  EXPECT_EQ(h.list.rows.back()[0], "bar");
}

TEST(SamplingTick, FractionsAndMissingFiguresHaveTheirTexts) {
  FormHarness h;
  h.services.memory.status = {1536, 1024, 0, 0, 1536, 1024};  // no swap
  h.services.resources.values = {std::nullopt, 0, 100};
  h.Start();
  EXPECT_EQ(h.labels[1]->caption, "1.5 KB");
  EXPECT_EQ(h.labels[3]->caption, "1 KB");
  EXPECT_EQ(h.labels[5]->caption, "33.33 % ");
  EXPECT_EQ(h.labels[13]->caption, "0 KB");
  EXPECT_EQ(h.labels[17]->caption, "0.00 % ") << "nothing of a missing page file is in use";
  EXPECT_EQ(h.labels[19]->caption, "-- %") << "an unreadable resource";
  EXPECT_EQ(h.labels[21]->caption, "100 %");
  EXPECT_EQ(h.labels[23]->caption, "0 %");

  h.services.memory.status = {};  // memory figures that cannot be read
  h.window->Timer1_Timer();
  EXPECT_EQ(h.labels[1]->caption, "0 KB");
  EXPECT_EQ(h.labels[5]->caption, "0.00 % ");
}

TEST(SamplingTick, ByteCountsBeyondThirtyTwoBits) {
  FormHarness h;
  h.services.memory.status.dwTotalPhys = 64LL << 30;  // 64 GB
  h.services.memory.status.dwAvailPhys = 16LL << 30;
  h.Start();
  EXPECT_EQ(h.labels[1]->caption, "67108864 KB");
  EXPECT_EQ(h.labels[5]->caption, "75.00 % ");
}

}  // namespace
}  // namespace pelmora
