// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>

namespace {

// Ending the program (QCoreApplication::exit) leaves a flag behind that makes
// every later event loop, modal dialogs included, return at once. Between
// tests, clear it the way the application does: by running and leaving exec().
class QuitFlagReset : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo&) override {
    for (int attempt = 0; attempt < 3; ++attempt) {
      QCoreApplication::processEvents();  // runs an exit that was left queued
      if (!QuitFlagSet()) return;
      QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
      QCoreApplication::exec();
    }
  }

  // An event loop returns -1 at once while the flag is set.
  static bool QuitFlagSet() {
    QEventLoop probe;
    QTimer::singleShot(0, &probe, [&probe] { probe.exit(0); });
    return probe.exec() == -1;
  }
};

}  // namespace

int main(int argc, char** argv) {
  // No display is needed: the offscreen platform unless one was chosen.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  testing::UnitTest::GetInstance()->listeners().Append(new QuitFlagReset);
  return RUN_ALL_TESTS();
}
