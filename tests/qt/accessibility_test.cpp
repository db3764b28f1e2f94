// SPDX-License-Identifier: MIT
// What a screen reader hears: the accessible names of the window's controls,
// read through Qt's accessibility interfaces.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QSet>
#include <QString>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "app/qt/main_window.h"
#include "qt/window_on_fakes.h"
#include "toolkit/qt/label.h"

namespace pelmora::app::qt {
namespace {

QString NameOf(QObject* object) {
  QAccessibleInterface* face = QAccessible::queryAccessibleInterface(object);
  return face ? face->text(QAccessible::Name) : QStringLiteral("<no interface>");
}

class AccessibilityTest : public ::testing::Test {
 protected:
  MainWindow window;
};

TEST_F(AccessibilityTest, ValueLabelsAreNamedByFrameRowAndFigure) {
  struct Case {
    int index;
    const char* name;
  };
  const Case cases[] = {
      {1, "物理メモリ 合計 523352 KB"},      {3, "物理メモリ 利用可能 523352 KB"},
      {5, "物理メモリ 使用率 90 %"},         {7, "仮想メモリ 合計 8523352 KB"},
      {9, "仮想メモリ 利用可能 8523352 KB"}, {11, "仮想メモリ 使用率 90 %"},
      {13, "ページファイル 合計 523352 KB"}, {15, "ページファイル 利用可能 523352 KB"},
      {17, "ページファイル 使用率 90 %"},    {19, "残リソース システム 90 %"},
      {21, "残リソース User 90 %"},          {23, "残リソース GDI 90 %"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NameOf(window.Label1[c.index]).toStdString(), c.name) << "Label1(" << c.index << ")";
  }
}

TEST_F(AccessibilityTest, ValueLabelNameFollowsEveryTick) {
  toolkit::qt::QtLabel* total = window.Label1[1];
  total->SetCaption("2048 KB");
  EXPECT_EQ(NameOf(total).toStdString(), "物理メモリ 合計 2048 KB");
  total->SetCaption("1.5 KB");
  EXPECT_EQ(NameOf(total).toStdString(), "物理メモリ 合計 1.5 KB");
  window.Label1[11]->SetCaption("12.5 % ");
  EXPECT_EQ(NameOf(window.Label1[11]).toStdString(), "仮想メモリ 使用率 12.5 % ");
}

// The names follow what the window's own procedures write: a real start-up
// and tick on the window's controls, over fake system services.
TEST(AccessibleNamesOfARunningWindow, FollowTheTickAndTheInterval) {
  fakes::WindowOnFakes run;
  run.services.memory.status.dwTotalPhys = 1024 * 777216LL;
  run.services.memory.status.dwAvailPhys = 1024 * 1024LL;
  MainWindow& window = run.window;
  window.Load();
  ASSERT_FALSE(window.Ended());
  EXPECT_EQ(NameOf(window.HScroll1).toStdString(), "更新頻度 1.0秒");

  window.show();  // the first tick
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(NameOf(window.Label1[1]).toStdString(), "物理メモリ 合計 777216 KB");
  EXPECT_EQ(NameOf(window.Label1[3]).toStdString(), "物理メモリ 利用可能 1024 KB");
  EXPECT_EQ(NameOf(window.Label1[13]).toStdString(),
            "ページファイル 合計 " + window.Label1[13]->text().toStdString());
  for (int i = 1; i < 24; i += 2) {
    EXPECT_TRUE(NameOf(window.Label1[i]).endsWith(u' ' + window.Label1[i]->text()))
        << "Label1(" << i << ") is read with the figure it shows";
  }
  // The graph is a chart described by the figures it draws.
  QAccessibleInterface* graph = QAccessible::queryAccessibleInterface(window.Picture1);
  ASSERT_NE(graph, nullptr);
  EXPECT_EQ(graph->role(), QAccessible::Chart);
  EXPECT_EQ(graph->text(QAccessible::Description).toStdString(),
            "CPU負荷率 0.0%（直近1回 最小 0.0%、最大 0.0%）、"
            "物理メモリ使用率 99.9%（最小 99.9%、最大 99.9%）");

  window.HScroll1->setValue(1);  // the interval becomes 0.2 s
  EXPECT_EQ(NameOf(window.HScroll1).toStdString(), "更新頻度 0.2秒");
  window.hide();
}

TEST_F(AccessibilityTest, EveryControlSaysWhatItShowsOrDoes) {
  struct Case {
    QWidget* widget;
    const char* name;
  };
  const Case cases[] = {
      {window.Command1, "プロセス一覧を更新"},
      {window.Command2, "選択したプロセスを停止"},
      {window.ListView1, "プロセス一覧"},
      {window.Picture1, "CPU負荷率とメモリ使用率のグラフ"},
      {window.Frame1[0], "物理メモリ(KB)"},
      {window.Frame1[1], "仮想メモリ(KB)"},
      {window.Frame1[2], "ページファイル(KB)"},
      {window.Frame2, "残リソース"},
      {window.Label1[0], "合計"},
      {window.Label1[22], "GDI"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NameOf(c.widget).toStdString(), c.name) << c.widget->objectName().toStdString();
  }
  // The window is a frame named by its caption, as the caption changes.
  QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(&window);
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->role(), QAccessible::Window);
  for (const char* caption : {"Pelmora Ver.1.0", "CPU:12.3% Mem:45.7%", "Pelmora Ver.2.0"}) {
    window.setWindowTitle(QString::fromUtf8(caption));
    EXPECT_EQ(NameOf(&window).toStdString(), caption);
  }
}

// No two controls share a name, and none is unnamed. (Label2 names the
// scroll bar, so the two read alike by design.)
TEST_F(AccessibilityTest, NamesAreDistinctAndNeverEmpty) {
  QSet<QString> seen;
  std::vector<QWidget*> named = {window.Command1, window.Command2, window.ListView1,
                                 window.Picture1, window.HScroll1, window.StatusBar1};
  for (int i = 1; i < 24; i += 2) named.push_back(window.Label1[i]);
  for (QWidget* w : named) {
    const QString name = NameOf(w);
    EXPECT_FALSE(name.trimmed().isEmpty()) << w->objectName().toStdString();
    EXPECT_FALSE(seen.contains(name)) << name.toStdString();
    seen.insert(name);
  }
}

TEST_F(AccessibilityTest, ScrollBarIsReadWithTheIntervalItSets) {
  EXPECT_EQ(NameOf(window.HScroll1), window.Label2->text());
  window.Label2->SetCaption("更新頻度 0.2秒");
  EXPECT_EQ(NameOf(window.HScroll1).toStdString(), "更新頻度 0.2秒");
  QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(window.HScroll1);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->role(), QAccessible::ScrollBar);
  EXPECT_FALSE(bar->text(QAccessible::Description).isEmpty());
  // Its value is the interval in seconds, not the bar's position.
  QAccessibleValueInterface* value = bar->valueInterface();
  ASSERT_NE(value, nullptr);
  EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), 1.0);
  window.HScroll1->setValue(7);
  EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), 1.4);
  EXPECT_DOUBLE_EQ(value->minimumValue().toDouble(), 0.2);
  EXPECT_DOUBLE_EQ(value->maximumValue().toDouble(), 4.0);
  EXPECT_DOUBLE_EQ(value->minimumStepSize().toDouble(), 0.2);
  value->setCurrentValue(2.0);
  EXPECT_EQ(window.HScroll1->value(), 10);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
  // Its value's text, as the label shows it.
  QAccessibleAttributesInterface* attributes = bar->attributesInterface();
  ASSERT_NE(attributes, nullptr);
  window.HScroll1->setValue(6);
  using Custom = QHash<QString, QString>;
  const Custom custom = attributes->attributeValue(QAccessible::Attribute::Custom).value<Custom>();
  EXPECT_EQ(custom.value(QStringLiteral("valuetext")).toStdString(), "1.2秒");
#endif
}

// Announcements reach assistive tools as the window's last child, a
// notification named by the message; nothing shows.
TEST_F(AccessibilityTest, AnnouncementsAreTheWindowsNotification) {
  QAccessibleInterface* frame = QAccessible::queryAccessibleInterface(&window);
  ASSERT_NE(frame, nullptr);
  QAccessibleInterface* note = frame->child(frame->childCount() - 1);
  ASSERT_NE(note, nullptr);
  EXPECT_EQ(note->role(), QAccessible::Notification);
  EXPECT_EQ(frame->indexOfChild(note), frame->childCount() - 1);
  EXPECT_EQ(note->parent(), frame);
  EXPECT_TRUE(note->state().invisible) << "no message yet";
  window.Controls().MsgBox.Announce("topを強制終了しました。");
  EXPECT_EQ(NameOf(note->object()).toStdString(), "topを強制終了しました。");
  EXPECT_FALSE(note->state().invisible);
}

TEST_F(AccessibilityTest, StatusBarIsReadWithItsThreePanels) {
  QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(window.StatusBar1);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->role(), QAccessible::StatusBar);
  EXPECT_EQ(bar->text(QAccessible::Name).toStdString(), "選択中のプロセス: なし");

  window.StatusBar1->SetPanelText(1, "/usr/bin/bash");
  window.StatusBar1->SetPanelText(2, "CPU負荷率 : 12.5%");
  window.StatusBar1->SetPanelText(3, "305");
  EXPECT_EQ(bar->text(QAccessible::Name).toStdString(),
            "選択中のプロセス: /usr/bin/bash、CPU負荷率 : 12.5%、プロセス数: 305");
}

TEST(AccessiblePrefixTest, PrefixJoinsTheTextAndCanBeTakenBack) {
  QWidget parent;
  toolkit::qt::QtLabel label(&parent);
  label.SetCaption("90 %");
  EXPECT_EQ(NameOf(&label).toStdString(), "90 %");  // no prefix: the text alone

  label.SetAccessiblePrefix("残リソース GDI");
  EXPECT_EQ(NameOf(&label).toStdString(), "残リソース GDI 90 %");
  label.SetCaption("");
  EXPECT_EQ(NameOf(&label).toStdString(), "残リソース GDI");  // no trailing blank

  label.SetCaption("7 %");
  label.SetAccessiblePrefix("");
  EXPECT_EQ(NameOf(&label).toStdString(), "7 %");
}

}  // namespace
}  // namespace pelmora::app::qt
