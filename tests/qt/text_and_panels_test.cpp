// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <string>

#include "toolkit/qt/label.h"
#include "toolkit/qt/status_bar.h"
#include "toolkit/qt/text_services.h"
#include "toolkit/qt/window.h"
#include "toolkit/runtime_error.h"

namespace pelmora::toolkit::qt {
namespace {

TEST(TextServices, LowerCasesJapaneseAndLatinText) {
  const QtTextServices japanese(QLocale(QLocale::Japanese, QLocale::Japan));
  struct Case {
    const char* text;
    const char* lower;
  };
  const Case cases[] = {
      {"ÀÉ", "àé"},
      {"/USR/BIN/Foo", "/usr/bin/foo"},
      {"プロセス監視.EXE", "プロセス監視.exe"},
      {"ＡＢＣ全角", "ａｂｃ全角"},  // full-width Latin has lower case too
      {"ΑΒΓ", "αβγ"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(japanese.LowerCase(c.text), c.lower) << c.text;
}

TEST(TextServices, LowerCasingFollowsTheLocale) {
  const QtTextServices turkish(QLocale(QLocale::Turkish, QLocale::Turkey));
  const QtTextServices english(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(english.LowerCase("TITLE"), "title");
  // Turkish has a dotless i: capital I lowers to it.
  EXPECT_EQ(turkish.LowerCase("TITLE"), "t\u0131tle");
}

TEST(TextServices, DecodesInvalidUtf8ToReplacementCharacters) {
  const QtTextServices services;
  ASSERT_TRUE(services.SystemIsUtf8());
  struct Case {
    std::string bytes;
    std::string text;
  };
  const Case cases[] = {
      {"/usr/bin/プロセス", "/usr/bin/プロセス"},
      {"/tmp/a\xFF"
       "b",
       "/tmp/a\uFFFDb"},
      {"/tmp/\xE3\x81", "/tmp/\uFFFD"},  // cut inside a character
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  std::string out;
  for (const Case& c : cases) {
    services.Decode(c.bytes, out);
    EXPECT_EQ(out, c.text);
  }
}

TEST(StatusBar, PanelsHaveFixedWidthsAndTheLastFillsTheBar) {
  QtStatusBar bar({313, 100, 31});
  bar.setGeometry(0, 0, 448, 17);
  ASSERT_EQ(bar.PanelCount(), 3);
  EXPECT_EQ(bar.PanelRect(1).left(), 0);
  EXPECT_EQ(bar.PanelRect(2).left(), 313);
  EXPECT_EQ(bar.PanelRect(3).left(), 413);
  EXPECT_EQ(bar.PanelRect(3).right(), 447);
  EXPECT_LE(bar.PanelRect(1).right(), 312);
}

TEST(StatusBar, TextsAreKeptPerPanel) {
  QtStatusBar bar({313, 100, 31});
  bar.SetPanelText(2, "CPU負荷率 : 7.50%");
  bar.SetPanelText(3, "123");
  EXPECT_EQ(bar.PanelText(1), "");
  EXPECT_EQ(bar.PanelText(2), "CPU負荷率 : 7.50%");
  EXPECT_EQ(bar.PanelText(3), "123");
  EXPECT_THROW(bar.SetPanelText(4, "x"), RuntimeError);
  EXPECT_THROW(bar.PanelText(0), RuntimeError);
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

TEST(Label, SameCaptionCausesNoRepaint) {
  QWidget parent;
  parent.resize(100, 40);
  QtLabel label(&parent);
  label.setGeometry(0, 0, 80, 14);
  label.SetCaption("90 %");
  parent.show();
  QApplication::processEvents();
  PaintCounter counter;
  label.installEventFilter(&counter);

  label.SetCaption("90 %");
  parent.repaint(QRect(90, 0, 10, 10));  // flush pending paints elsewhere
  QApplication::processEvents();
  EXPECT_EQ(counter.paints, 0);
  label.SetCaption("91 %");
  label.repaint();
  EXPECT_GE(counter.paints, 1);
  EXPECT_EQ(label.text(), "91 %");
  EXPECT_FALSE(label.autoFillBackground());
}

TEST(Label, ItsOwnBackgroundColourIsNeverPainted) {
  QWidget parent;
  parent.resize(100, 40);
  QPalette palette = parent.palette();
  palette.setColor(QPalette::Window, QColor(10, 200, 30));
  parent.setPalette(palette);
  parent.setAutoFillBackground(true);
  QtLabel label(&parent);
  QPalette own = label.palette();
  own.setColor(QPalette::Window, Qt::white);
  label.setPalette(own);
  label.setGeometry(0, 0, 100, 20);
  label.SetCaption("8523352 KB 8523352 KB");
  parent.show();
  QApplication::processEvents();
  label.SetCaption("1");
  QApplication::processEvents();
  const QImage image = parent.grab().toImage();
  // Right of the text the parent's colour shows through.
  for (int x = 40; x < 100; ++x) {
    for (int y = 0; y < 20; ++y) {
      ASSERT_EQ(image.pixel(x, y), qRgb(10, 200, 30)) << x << "," << y;
    }
  }
}

TEST(Window, CaptionStateAndEnd) {
  QWidget form;
  QtWindow window(form);
  window.SetCaption("Pelmora Ver.2.0");
  EXPECT_EQ(window.Caption(), "Pelmora Ver.2.0");
  EXPECT_EQ(form.windowTitle(), "Pelmora Ver.2.0");
  window.SetCaption("CPU:12.3% ");
  window.SetCaption(window.Caption() + "Mem:45.7%");
  EXPECT_EQ(window.Caption(), "CPU:12.3% Mem:45.7%");

  form.show();
  EXPECT_EQ(window.WindowState(), kWindowNormal);
  form.setWindowState(Qt::WindowMinimized);
  EXPECT_EQ(window.WindowState(), kWindowMinimized);
  form.setWindowState(Qt::WindowNoState);
  EXPECT_EQ(window.WindowState(), kWindowNormal);

  // Ending leaves the running event loop and hides the window.
  QEventLoop loop;
  bool ended = false;
  QTimer::singleShot(0, &loop, [&] {
    window.EndProgram();
    ended = true;
  });
  QTimer::singleShot(5000, &loop, [&] { loop.exit(99); });
  EXPECT_EQ(loop.exec(), 0);
  EXPECT_TRUE(ended);
  EXPECT_TRUE(window.Ended());
  EXPECT_FALSE(form.isVisible());
}

TEST(Window, EndedBeforeTheEventLoopRunsEndsItAsSoonAsItStarts) {
  QWidget form;
  QtWindow window(form);
  form.show();
  window.EndProgram();  // as during start-up, before the loop runs
  EXPECT_FALSE(form.isVisible());
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  watchdog.start(5000);
  EXPECT_EQ(QCoreApplication::exec(), 0);
}

}  // namespace
}  // namespace pelmora::toolkit::qt
