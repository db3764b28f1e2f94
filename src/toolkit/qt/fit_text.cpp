// SPDX-License-Identifier: MIT
#include "toolkit/qt/fit_text.h"

#include <QFontMetricsF>

namespace pelmora::toolkit::qt {

QFont FitFont(const QFont& base, const QString& text, int width) {
  QFont font = base;
  const bool pixels = base.pixelSize() > 0;
  qreal size = pixels ? base.pixelSize() : base.pointSizeF();
  const qreal smallest = pixels ? 8 : 6;
  while (QFontMetricsF(font).horizontalAdvance(text) > width && size > smallest) {
    size -= pixels ? 1 : 0.5;
    if (pixels) {
      font.setPixelSize(static_cast<int>(size));
    } else {
      font.setPointSizeF(size);
    }
  }
  return font;
}

}  // namespace pelmora::toolkit::qt
