// SPDX-License-Identifier: MIT
#pragma once
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <string>
#include <string_view>

#include "toolkit/timer.h"

namespace pelmora::toolkit::qt {

// A periodic timer whose interval 0 means stopped (a bare QTimer with 0
// would fire on every pass of the event loop).
class QtTimer : public QObject, public toolkit::Timer {
  Q_OBJECT
 public:
  explicit QtTimer(QObject* parent = nullptr);

  // 0 or less stops the timer; a positive interval (re)starts a full period.
  void SetInterval(int32_t milliseconds) override;
  int32_t Interval() const override { return interval_; }
  void SetTag(std::string_view tag) override { tag_ = tag; }
  std::string Tag() const override { return tag_; }

  bool IsRunning() const { return timer_.isActive(); }

 signals:
  void Timer();

 private:
  QTimer timer_;
  int32_t interval_ = 0;
  std::string tag_;
};

}  // namespace pelmora::toolkit::qt
