// SPDX-License-Identifier: MIT
#include "toolkit/qt/window.h"

#include <QCoreApplication>
#include <QString>
#include <QThread>
#include <QTimer>
#include <QWidget>

namespace pelmora::toolkit::qt {

void QtWindow::SetCaption(std::string_view caption) {
  const QString title = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
  if (title == form_.windowTitle()) return;
  form_.setWindowTitle(title);
}

std::string QtWindow::Caption() const { return form_.windowTitle().toStdString(); }

int QtWindow::WindowState() const { return form_.isMinimized() ? kWindowMinimized : kWindowNormal; }

void QtWindow::EndProgram() {
  ended_ = true;
  form_.hide();
  QCoreApplication::exit(0);
  // Ended before the event loop runs (during start-up): leave it as soon as
  // it starts.
  if (QThread::currentThread()->loopLevel() == 0 && QCoreApplication::instance() != nullptr) {
    QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
  }
}

}  // namespace pelmora::toolkit::qt
