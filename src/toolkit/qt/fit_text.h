// SPDX-License-Identifier: MIT
#pragma once
#include <QFont>
#include <QFontMetricsF>
#include <QString>
#include <map>
#include <unordered_map>

namespace pelmora::toolkit::qt {

// Fits a text into a width: the font, made smaller step by step (not below
// about 8 pixels) until the text fits, so a figure wider than its fixed
// place stays whole. For widgets whose text changes often, it keeps the
// advance of every character it has met at every size it tried: a text of
// Latin, digits, kana or ideographs whose advances add up to plainly less
// than the width, a pixel to spare for kerning, takes its size without
// being laid out; any other text is measured.
class TextFitter {
 public:
  // fits, when given, tells whether the text fits the width in the font
  // returned (it may not, at the smallest size).
  QFont Fit(const QFont& base, const QString& text, int width, bool* fits = nullptr);

 private:
  struct Size {
    QFont font;
    QFontMetricsF metrics;
    std::unordered_map<char16_t, qreal> advances;
  };
  Size& At(qreal size);
  void Use(const QFont& base);
  // The sum of the text's advances; negative when it holds a character
  // that is shaped with its neighbours.
  static qreal Advances(Size& size, const QString& text);

  QFont base_;
  std::map<qreal, Size> sizes_;
};

}  // namespace pelmora::toolkit::qt
