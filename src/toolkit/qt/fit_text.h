// SPDX-License-Identifier: MIT
#pragma once
#include <QFont>
#include <QFontMetricsF>
#include <QString>
#include <optional>
#include <unordered_map>

namespace pelmora::toolkit::qt {

// The font, made smaller step by step (not below about 8 pixels) until the
// text fits the width: a figure wider than its fixed place stays whole.
QFont FitFont(const QFont& base, const QString& text, int width);

// FitFont for a widget whose text changes often: it keeps the advance of
// every character it has met in the base font, so a text that plainly fits
// (its advances add up to less than the width, with a pixel to spare for
// kerning) takes the base font without laying the text out.
class TextFitter {
 public:
  QFont Fit(const QFont& base, const QString& text, int width);
  // True when the text's advances in the base font add up to less than
  // the width, a pixel to spare.
  bool PlainlyFits(const QFont& base, const QString& text, int width);

 private:
  QFont base_;
  std::optional<QFontMetricsF> metrics_;
  std::unordered_map<char16_t, qreal> advances_;
};

}  // namespace pelmora::toolkit::qt
