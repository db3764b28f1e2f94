// SPDX-License-Identifier: MIT
#pragma once
#include <QString>
#include <QWidget>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/qt/fit_text.h"
#include "toolkit/status_bar.h"

namespace pelmora::toolkit::qt {

// A bar of sunken text panels of fixed widths, numbered from 1; the last
// panel takes whatever width is left, so together they fill the bar. Text
// too long for its panel is elided.
class QtStatusBar : public QWidget, public toolkit::StatusBar {
  Q_OBJECT
 public:
  // One width in pixels per panel.
  explicit QtStatusBar(std::vector<int> panelWidths, QWidget* parent = nullptr);

  // Repaints only that panel, and tells assistive tools the bar's name
  // changed, only when its text changes.
  void SetPanelText(int panel, std::string_view text) override;
  std::string PanelText(int panel) const override;

  int PanelCount() const { return static_cast<int>(panels_.size()); }
  // The panel's rectangle in the bar, panel from 1.
  QRect PanelRect(int panel) const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  struct Panel {
    int width;
    std::string text;
    QString shown;  // the text as drawn: elided where it is far too long
    QFont font;     // the font it is drawn in: smaller where it is a little too wide
  };
  QRect TextRect(int panel) const;
  // Works out how the panel's text is drawn; when it or the bar changes.
  void Fit(int panel);
  Panel& At(int panel);
  const Panel& At(int panel) const;

  std::vector<Panel> panels_;
  TextFitter fitter_;
};

}  // namespace pelmora::toolkit::qt
