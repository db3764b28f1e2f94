// SPDX-License-Identifier: MIT
#include "toolkit/qt/fit_text.h"

namespace pelmora::toolkit::qt {
namespace {

bool InPixels(const QFont& font) { return font.pixelSize() > 0; }
qreal SizeOf(const QFont& font) { return InPixels(font) ? font.pixelSize() : font.pointSizeF(); }
qreal Smallest(const QFont& font) { return InPixels(font) ? 8 : 6; }
qreal Step(const QFont& font) { return InPixels(font) ? 1 : 0.5; }

QFont Resized(const QFont& base, qreal size) {
  QFont font = base;
  if (InPixels(base)) {
    font.setPixelSize(static_cast<int>(size));
  } else {
    font.setPointSizeF(size);
  }
  return font;
}

// Characters whose advance alone is their share of a text's width: Latin,
// the digits and signs, kana and CJK ideographs. Marks, joining and complex
// scripts are shaped with their neighbours, so a text with any of them is
// measured whole.
bool AdvanceStandsAlone(QChar c) {
  const char16_t u = c.unicode();
  if (u >= 0x302A && u <= 0x302F) return false;  // ideographic tone marks
  if (u == 0x3099 || u == 0x309A) return false;  // combining kana sound marks
  return (u >= 0x20 && u < 0x300) || (u >= 0x3000 && u < 0xA000) || (u >= 0xFF00 && u < 0xFFF0);
}

}  // namespace

TextFitter::Size& TextFitter::At(qreal size) {
  auto at = sizes_.find(size);
  if (at == sizes_.end()) {
    const QFont font = size == SizeOf(base_) ? base_ : Resized(base_, size);
    at = sizes_.emplace(size, Size{font, QFontMetricsF(font), {}}).first;
  }
  return at->second;
}

qreal TextFitter::Advances(Size& size, const QString& text) {
  qreal sum = 0;
  for (const QChar c : text) {
    if (!AdvanceStandsAlone(c)) return -1;
    auto at = size.advances.find(c.unicode());
    if (at == size.advances.end()) {
      at = size.advances.emplace(c.unicode(), size.metrics.horizontalAdvance(c)).first;
    }
    sum += at->second;
  }
  return sum;
}

void TextFitter::Use(const QFont& base) {
  if (base == base_ && !sizes_.empty()) return;
  base_ = base;
  sizes_.clear();
}

QFont TextFitter::Fit(const QFont& base, const QString& text, int width, bool* fits) {
  Use(base);
  if (fits) *fits = true;
  for (qreal size = SizeOf(base);; size -= Step(base)) {
    Size& at = At(size);
    // A text that does not plainly fit is measured: kerning may still
    // bring it within the width.
    const qreal sum = Advances(at, text);
    if ((sum >= 0 && sum + 1 <= width) || at.metrics.horizontalAdvance(text) <= width) {
      return at.font;
    }
    if (size <= Smallest(base)) {
      if (fits) *fits = false;
      return at.font;
    }
  }
}

}  // namespace pelmora::toolkit::qt
