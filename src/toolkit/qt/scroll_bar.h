// SPDX-License-Identifier: MIT
#pragma once
#include <QScrollBar>
#include <cstdint>

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

 signals:
  void Change();

 private:
  int valueAtPress_ = 0;
};

}  // namespace pelmora::toolkit::qt
