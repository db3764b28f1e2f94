// SPDX-License-Identifier: MIT
#pragma once
#include <QLabel>
#include <QString>
#include <string_view>

#include "toolkit/label.h"
#include "toolkit/qt/fit_text.h"

namespace pelmora::toolkit::qt {

// A static text without a background of its own: its container shows through.
// A text wider than the label is drawn in a smaller font, so it stays whole.
class QtLabel : public QLabel, public toolkit::Label {
  Q_OBJECT
 public:
  explicit QtLabel(QWidget* parent = nullptr);
  // Leaves the label alone (no repaint) when the text is the same.
  void SetCaption(std::string_view caption) override;

  // A fixed text that, followed by a blank and the current text, gives the
  // label's accessible name ("物理メモリ 合計" + " " + "523352 KB"); the name
  // follows every later change of the text. An empty prefix leaves the name
  // to Qt (the text alone).
  void SetAccessiblePrefix(const QString& prefix);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void UpdateAccessibleName();
  void FitText();

  QString accessiblePrefix_;
  TextFitter fitter_;
};

}  // namespace pelmora::toolkit::qt
