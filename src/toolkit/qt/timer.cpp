// SPDX-License-Identifier: MIT
#include "toolkit/qt/timer.h"

namespace pelmora::toolkit::qt {

QtTimer::QtTimer(QObject* parent) : QObject(parent) {
  timer_.setTimerType(Qt::CoarseTimer);
  connect(&timer_, &QTimer::timeout, this, &QtTimer::Timer);
}

void QtTimer::SetInterval(int32_t milliseconds) {
  interval_ = milliseconds;
  if (milliseconds <= 0) {
    timer_.stop();
  } else {
    timer_.start(milliseconds);  // a running timer starts over
  }
}

}  // namespace pelmora::toolkit::qt
