// SPDX-License-Identifier: MIT
#include "toolkit/qt/scroll_bar.h"

#include "toolkit/qt/accessible_factory.h"

namespace pelmora::toolkit::qt {

QtScrollBar::QtScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {
  InstallAccessibleFactory();
  // The right arrow key raises the value, as the right arrow button does.
  setInvertedControls(false);
  connect(this, &QAbstractSlider::valueChanged, this, [this] {
    if (!isSliderDown()) emit Change();
  });
  connect(this, &QAbstractSlider::sliderPressed, this, [this] { valueAtPress_ = value(); });
  connect(this, &QAbstractSlider::sliderReleased, this, [this] {
    if (value() != valueAtPress_) emit Change();
  });
  RenewAccessibleInterface(this);
}

double QtScrollBar::AccessibleValue(int position) const {
  // Dividing by the positions per unit (5 for 0.2) gives 7 as 1.4, where
  // multiplying by 0.2 gives 1.4000000000000001.
  return position / (1.0 / accessibleUnit_);
}

std::string QtScrollBar::AccessibleValueText() const {
  return accessibleValueText_ ? accessibleValueText_(AccessibleValue(value())) : std::string();
}

}  // namespace pelmora::toolkit::qt
