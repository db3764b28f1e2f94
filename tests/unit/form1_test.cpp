// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "fakes/form_harness.h"

namespace pelmora {
namespace {

using fakes::FormHarness;

TEST(FormLoad, SetsUpColumnsIntervalListAndMarker) {
  FormHarness h;
  h.window->Form_Load();
  EXPECT_EQ(h.list.headers, (std::vector<std::string>{
                                "     ファイル名      ", "参照回数", " プロセスID ", "基本優先順位",
                                "スレッド数", " ヒープID  ", "モジュールID", "親プロセスID"}));
  EXPECT_EQ(h.list.autoSized, (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6}))
      << "every column but the last fits its header";
  EXPECT_EQ(h.timer.interval, 1000);
  EXPECT_EQ(h.label2.caption, "更新頻度 1.0秒");
  EXPECT_EQ(h.list.rows.size(), 2u);
  EXPECT_EQ(h.statusBar.panels[2], "2");
  EXPECT_EQ(h.timer.tag, "Start");
  EXPECT_EQ(h.services.cpuTime.openCount, 1) << "the probe opens the device once";
  EXPECT_EQ(h.services.cpuTime.closeCount, 1);
  EXPECT_TRUE(h.msgBox.shown.empty());
  EXPECT_EQ(h.form.endCount, 0);
}

TEST(FormLoad, RefusesASecondInstanceAndAMissingDevice) {
  struct Case {
    bool other;
    bool device;
    std::string text;
    std::string title;
  };
  for (const Case& c :
       {Case{true, true, "すでに起動しています。", "Pelmora 二重起動エラー"},
        Case{true, false, "すでに起動しています。", "Pelmora 二重起動エラー"},
        Case{false, false, "WINTOP.VXD がないか、動作しません？！", "Pelmora WINTOP.VXDエラー"}}) {
    FormHarness h;
    h.services.instance.other = c.other;
    h.services.cpuTime.opens = c.device;
    h.window->Form_Load();
    ASSERT_EQ(h.msgBox.shown.size(), 1u);
    EXPECT_EQ(h.msgBox.shown[0].prompt, c.text);
    EXPECT_EQ(h.msgBox.shown[0].title, c.title);
    EXPECT_EQ(h.msgBox.shown[0].style, 48);
    EXPECT_EQ(h.form.endCount, 1);
    EXPECT_TRUE(h.list.rows.empty()) << "the list is never filled";
    EXPECT_EQ(h.timer.interval, 0) << "the timer never starts";
    EXPECT_EQ(h.services.processes.snapshots, 0);
  }
}

TEST(FormLoad, ScrollBarSetsTheIntervalAndItsText) {
  struct Case {
    int16_t value;
    int32_t interval;
    std::string text;
  };
  FormHarness h;
  h.window->Form_Load();
  for (const Case& c : {Case{1, 200, "更新頻度 0.2秒"}, Case{5, 1000, "更新頻度 1.0秒"},
                        Case{12, 2400, "更新頻度 2.4秒"}, Case{20, 4000, "更新頻度 4.0秒"}}) {
    h.timer.intervals.clear();
    h.scroll.value = c.value;
    h.window->HScroll1_Change();
    EXPECT_EQ(h.timer.intervals, (std::vector<int32_t>{0, c.interval}))
        << "stopped first, so the period starts anew";
    EXPECT_EQ(h.label2.caption, c.text);
  }
}

TEST(FormQueryUnload, EndsTheProgram) {
  FormHarness h;
  h.Start();
  h.window->Form_QueryUnload();
  EXPECT_EQ(h.form.endCount, 1);
}

}  // namespace
}  // namespace pelmora
