// SPDX-License-Identifier: MIT
// The window on the offscreen platform: controls in place, texts, focus
// order, and the window's logic running on its real controls.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTest>
#include <functional>
#include <optional>

#include "qt/answerer.h"
#include "toolkit/qt/announcement.h"
#include "qt/window_on_fakes.h"
#include "toolkit/runtime_error.h"

namespace pelmora {
namespace {

using app::qt::MainWindow;
using fakes::WindowOnFakes;

TEST(MainWindow, AFixedWindowWhoseControlsDoNotOverlap) {
  MainWindow w;
  EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "the window cannot be resized";
  EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(w.windowFlags() & Qt::WindowMinimizeButtonHint);

  // No two of the window's own controls overlap.
  const QWidget* controls[] = {w.ListView1, w.Frame1[0], w.Frame1[1], w.Frame1[2],
                               w.Frame2,    w.Picture1,  w.Label2,    w.HScroll1,
                               w.Command1,  w.Command2,  w.StatusBar1};
  for (const QWidget* a : controls) {
    for (const QWidget* b : controls) {
      if (a != b) {
        EXPECT_FALSE(a->geometry().intersects(b->geometry()))
            << a->objectName().toStdString() << " and " << b->objectName().toStdString();
      }
    }
  }
}

TEST(MainWindow, DesignTimeTexts) {
  MainWindow w;
  EXPECT_EQ(w.Frame1[0]->title(), "物理メモリ(KB)");
  EXPECT_EQ(w.Frame1[1]->title(), "仮想メモリ(KB)");
  EXPECT_EQ(w.Frame1[2]->title(), "ページファイル(KB)");
  EXPECT_EQ(w.Frame2->title(), "残リソース");
  EXPECT_EQ(w.Command1->text(), "更新");
  EXPECT_EQ(w.Command2->text(), "停止");
  EXPECT_EQ(w.Label2->text(), "更新頻度 1秒");
  const char* captions[] = {"合計", "利用可能", "使用率", "合計",     "利用可能", "使用率",
                            "合計", "利用可能", "使用率", "システム", "User",     "GDI"};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(w.Label1[2 * i]->text(), captions[i]);
  EXPECT_EQ(w.Label1[7]->text(), "8523352 KB");
  EXPECT_EQ(w.Label1[23]->text(), "90 %");
  EXPECT_EQ(w.HScroll1->minimum(), 1);
  EXPECT_EQ(w.HScroll1->maximum(), 20);
  EXPECT_EQ(w.HScroll1->value(), 5);
  EXPECT_FALSE(w.Command1->isDefault());
  EXPECT_FALSE(w.Command2->autoDefault());
}

TEST(MainWindow, TabVisitsTheControlsInOrder) {
  MainWindow w;
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  EXPECT_EQ(QApplication::focusWidget(), w.Command1);
  const QWidget* order[] = {w.ListView1, w.HScroll1, w.Command2, w.Picture1, w.Command1};
  for (const QWidget* next : order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
  }
}

TEST(MainWindow, StartsAndTicksOnItsRealControls) {
  WindowOnFakes run;
  run.services.processes.processes[1].th32ProcessID = 0x1a2b;
  MainWindow& w = run.window;
  const app::Form1& form = *run.form;
  w.Load();
  ASSERT_FALSE(w.Ended());
  EXPECT_EQ(w.Label2->text(), "更新頻度 1.0秒");
  EXPECT_EQ(w.StatusBar1->PanelText(3), "2");
  ASSERT_EQ(w.ListView1->model()->columnCount(), 8);
  EXPECT_EQ(w.ListView1->ItemText(2, 0), "foo");
  EXPECT_EQ(w.ListView1->ItemText(2, 2), "1A2B");

  // Each of the first seven columns is as wide as its header, blanks and all.
  const QHeaderView* header = w.ListView1->header();
  for (int c = 0; c < 7; ++c) {
    const QString text = w.ListView1->model()->headerData(c, Qt::Horizontal).toString();
    EXPECT_GE(header->sectionSize(c), QFontMetrics(header->font()).horizontalAdvance(text)) << c;
  }
  EXPECT_GT(header->sectionSize(0), header->sectionSize(1)) << "the blanks widen column 1";

  w.show();  // the first tick runs as the window is first shown
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  EXPECT_EQ(w.windowTitle(), "Pelmora Ver.2.0");
  EXPECT_EQ(w.Label1[1]->text(), "523352 KB");
  EXPECT_EQ(w.Label1[5]->text(), "50.00 % ");
  EXPECT_EQ(w.StatusBar1->PanelText(2), "CPU負荷率 : 0.00%");
  EXPECT_EQ(form.GraphHistory().WarmUpCount, 50);
  w.hide();
  w.show();
  EXPECT_EQ(form.GraphHistory().WarmUpCount, 50) << "showing it again is no new start";

  // The timer drives the ticks.
  w.HScroll1->setValue(1);  // 200 ms
  run.services.clock.now += 1000;
  QTest::qWait(500);
  EXPECT_LT(form.GraphHistory().WarmUpCount, 50);

  // The graph is black with the green grid.
  const QImage image = w.Picture1->Image();
  EXPECT_EQ(image.pixelColor(0, 0), QColor(0, 0, 0));
  EXPECT_EQ(image.pixelColor(3, 3), QColor(0, 150, 0));
  EXPECT_EQ(image.pixelColor(10, 10), QColor(0, 0, 0));
}

TEST(MainWindow, ARunTimeErrorEndsOnlyThatProcedure) {
  WindowOnFakes run;
  MainWindow& w = run.window;
  fakes::FakeProcessSource& processes = run.services.processes;
  w.Load();
  processes.onSnapshot = [] { throw toolkit::RuntimeError("snapshot failed"); };
  testing::internal::CaptureStderr();
  w.Command1->click();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "pelmora: Command1_Click: run-time error: snapshot failed\n");
  EXPECT_FALSE(w.Ended()) << "the program goes on";

  processes.onSnapshot = nullptr;
  processes.processes.push_back(fakes::Process("/usr/bin/later", 77));
  w.Command1->click();
  EXPECT_EQ(w.StatusBar1->PanelText(3), "3") << "the next event runs as usual";
}

// However a row was chosen, 停止 ends the process its prompt names, or,
// with no row chosen, neither asks nor ends anything.
TEST(MainWindow, StopEndsTheProcessThePromptNamesHoweverTheRowWasChosen) {
  struct Case {
    const char* way;
    std::function<void(MainWindow&, fakes::FakeServices&)> choose;
    std::optional<int64_t> ended;  // nullopt: no prompt, nothing ended
  };
  const auto centre = [](MainWindow& w, int row) {
    return w.ListView1->visualRect(w.ListView1->model()->index(row - 1, 0)).center();
  };
  const auto click = [centre](MainWindow& w, int row, Qt::KeyboardModifiers keys = {}) {
    QTest::mouseClick(w.ListView1->viewport(), Qt::LeftButton, keys, centre(w, row));
  };
  const Case cases[] = {
      {"click", [&](MainWindow& w, auto&) { click(w, 2); }, 22},
      {"click on the selected row",
       [&](MainWindow& w, auto&) {
         click(w, 3);
         w.StatusBar1->SetPanelText(1, "");
         click(w, 3);
       },
       33},
      {"keyboard",
       [&](MainWindow& w, auto&) {
         click(w, 1);
         QTest::keyClick(w.ListView1, Qt::Key_Down);
         QTest::keyClick(w.ListView1, Qt::Key_Down);
       },
       33},
      {"drag",
       [&](MainWindow& w, auto&) {
         QWidget* area = w.ListView1->viewport();
         QTest::mousePress(area, Qt::LeftButton, {}, centre(w, 1));
         QMouseEvent move(QEvent::MouseMove, centre(w, 4), area->mapToGlobal(centre(w, 4)),
                          Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
         QApplication::sendEvent(area, &move);
         QTest::mouseRelease(area, Qt::LeftButton, {}, centre(w, 4));
       },
       44},
      {"assistive tool",
       [&](MainWindow& w, auto&) {
         click(w, 1);
         QAccessibleInterface* list = QAccessible::queryAccessibleInterface(w.ListView1);
         ASSERT_TRUE(list && list->tableInterface());
         ASSERT_TRUE(list->tableInterface()->selectRow(3));
       },
       44},
      {"selection cleared",
       [&](MainWindow& w, auto&) {
         click(w, 2);
         click(w, 2, Qt::ControlModifier);
       },
       std::nullopt},
      {"rebuild that removes the selected row",
       [&](MainWindow& w, fakes::FakeServices& services) {
         click(w, 3);
         services.processes.processes.erase(services.processes.processes.begin() + 2);
         w.Command1->click();
       },
       std::nullopt},
  };
  const std::pair<const char*, int64_t> processes[] = {
      {"alpha", 11}, {"bravo", 22}, {"charlie", 33}, {"delta", 44}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.way);
    WindowOnFakes run([&](fakes::FakeServices& services) {
      services.processes.processes.clear();
      for (const auto& [name, pid] : processes) {
        services.processes.processes.push_back(
            fakes::Process(std::string("/usr/bin/") + name, pid));
        services.processControl.running[pid] = {};
      }
    });
    MainWindow& w = run.window;
    w.Load();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    c.choose(w, run.services);

    fakes::Answerer answerer([](QMessageBox& box) { box.button(QMessageBox::Ok)->click(); });
    w.Command2->click();
    const std::vector<int64_t>& killed = run.services.processControl.killed;
    // What 停止 did is told to assistive tools.
    const QString told = w.findChild<toolkit::qt::QtAnnouncement*>()->Message();
    if (!c.ended) {
      EXPECT_FALSE(answerer.seen.shown);
      EXPECT_TRUE(killed.empty());
      EXPECT_EQ(told.toStdString(), "プロセスが選択されていません。");
      continue;
    }
    EXPECT_EQ(killed, std::vector<int64_t>{*c.ended});
    const std::string prompt = answerer.seen.text.toStdString();
    for (const auto& [name, pid] : processes) {
      const bool ended = pid == *c.ended;
      EXPECT_EQ(prompt.find(std::string("。") + name + "を強制終了") != std::string::npos, ended)
          << name;
      if (ended) {
        EXPECT_EQ(told.toStdString(), std::string(name) + "を強制終了しました。");
      }
    }
  }
}

// Enter and the keypad's Enter press the focused button, once however long
// the key is held; neither is the window's default button.
TEST(MainWindow, EnterPressesTheFocusedButton) {
  MainWindow w;
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  for (toolkit::qt::QtPushButton* button : {w.Command1, w.Command2}) {
    int presses = 0;
    QObject::connect(button, &QAbstractButton::clicked, [&presses] { ++presses; });
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Return);
    QTest::keyClick(button, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(button, Qt::Key_Space);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(button, &repeat);
    QTest::keyClick(button, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(presses, 3) << button->objectName().toStdString();
    EXPECT_FALSE(button->isDefault());
  }
}

TEST(MainWindow, ClosingEndsTheProgram) {
  WindowOnFakes run;
  MainWindow& w = run.window;
  w.Load();
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  w.close();
  EXPECT_TRUE(w.Ended());
  EXPECT_FALSE(w.isVisible());
}

}  // namespace
}  // namespace pelmora
