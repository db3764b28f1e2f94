// SPDX-License-Identifier: MIT
#pragma once
#include <QScrollBar>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "toolkit/scroll_bar.h"

namespace pelmora::toolkit::qt {

// A horizontal scroll bar that reports each settled change of its value:
// an arrow, a click in the trough, a key or the wheel raise Change at once;
// a dragged thumb raises nothing while it moves and one Change on release,
// if the value differs from where the drag began.
class QtScrollBar : public QScrollBar, public toolkit::ScrollBar {
  Q_OBJECT
 public:
  explicit QtScrollBar(QWidget* parent = nullptr);
  int16_t Value() const override { return static_cast<int16_t>(value()); }

  // Assistive tools read the bar's value, its range and its step as its
  // positions times unit: with 0.2, position 7 reads as 1.4 (seconds, for
  // a bar whose steps are 0.2 s). 1 until set.
  void SetAccessibleUnit(double unit) { accessibleUnit_ = unit; }
  double AccessibleUnit() const { return accessibleUnit_; }
  // A position in that unit.
  double AccessibleValue(int position) const;
  // The value as assistive tools say it, from the value in the unit above
  // ("1.4秒" for 1.4); none until set. Handed to them where Qt can (6.8 on).
  void SetAccessibleValueText(std::function<std::string(double)> text) {
    accessibleValueText_ = std::move(text);
  }
  std::string AccessibleValueText() const;

 signals:
  void Change();

 private:
  int valueAtPress_ = 0;
  double accessibleUnit_ = 1;
  std::function<std::string(double)> accessibleValueText_;
};

}  // namespace pelmora::toolkit::qt
