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

QFont TextFitter::Fit(const QFont& base, const QString& text, int width) {
  return PlainlyFits(base, text, width) ? base : FitFont(base, text, width);
}

bool TextFitter::PlainlyFits(const QFont& base, const QString& text, int width) {
  if (!metrics_ || base != base_) {
    base_ = base;
    metrics_.emplace(base);
    advances_.clear();
  }
  qreal sum = 0;
  for (const QChar c : text) {
    if (c.isSurrogate()) return false;
    auto at = advances_.find(c.unicode());
    if (at == advances_.end())
      at = advances_.emplace(c.unicode(), metrics_->horizontalAdvance(c)).first;
    sum += at->second;
  }
  return sum + 1 <= width;
}

}  // namespace pelmora::toolkit::qt
