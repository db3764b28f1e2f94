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
}

}  // namespace pelmora::toolkit::qt
