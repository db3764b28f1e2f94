// SPDX-License-Identifier: MIT
#include "toolkit/qt/status_bar.h"

#include <qdrawutil.h>

#include <QAccessible>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>

#include "toolkit/qt/fit_text.h"
#include "toolkit/runtime_error.h"

namespace pelmora::toolkit::qt {
namespace {

constexpr int kPanelGap = 2;    // between two panels
constexpr int kTextMargin = 3;  // between the panel's edge and its text

}  // namespace

QtStatusBar::QtStatusBar(std::vector<int> panelWidths, QWidget* parent) : QWidget(parent) {
  panels_.reserve(panelWidths.size());
  for (int width : panelWidths) panels_.push_back(Panel{width, {}, {}, {}});
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QtStatusBar::Panel& QtStatusBar::At(int panel) {
  if (panel < 1 || panel > PanelCount()) throw RuntimeError("status bar panel out of bounds");
  return panels_[static_cast<std::size_t>(panel - 1)];
}

const QtStatusBar::Panel& QtStatusBar::At(int panel) const {
  if (panel < 1 || panel > PanelCount()) throw RuntimeError("status bar panel out of bounds");
  return panels_[static_cast<std::size_t>(panel - 1)];
}

void QtStatusBar::SetPanelText(int panel, std::string_view text) {
  Panel& target = At(panel);
  if (target.text == text) return;
  target.text = text;
  Fit(panel);
  update(PanelRect(panel));
  // The bar's accessible name is read from its panels: a screen reader
  // hears the new text, the selection key in panel 1 above all.
  QAccessibleEvent event(this, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&event);
}

std::string QtStatusBar::PanelText(int panel) const { return At(panel).text; }

QRect QtStatusBar::PanelRect(int panel) const {
  int left = 0;
  for (int i = 1; i < panel; ++i) left += panels_[static_cast<std::size_t>(i - 1)].width;
  const bool last = panel == PanelCount();
  const int width = last ? std::max(0, this->width() - left) : At(panel).width;
  QRect rect(left, 0, width, height());
  if (!last) rect.adjust(0, 0, -kPanelGap, 0);
  return rect;
}

QSize QtStatusBar::sizeHint() const {
  int width = 0;
  for (const Panel& panel : panels_) width += panel.width;
  return QSize(width, fontMetrics().height() + 2 * kTextMargin);
}

QRect QtStatusBar::TextRect(int panel) const {
  return PanelRect(panel).adjusted(kTextMargin, 1, -kTextMargin, -1);
}

void QtStatusBar::Fit(int panel) {
  Panel& target = At(panel);
  const QString text =
      QString::fromUtf8(target.text.data(), static_cast<qsizetype>(target.text.size()));
  const int width = TextRect(panel).width();
  // A text a little too wide is drawn smaller; only a much longer one (a
  // deep path in panel 1) is cut short.
  bool fits = true;
  target.font = fitter_.Fit(font(), text, width, &fits);
  target.shown = fits ? text : QFontMetrics(target.font).elidedText(text, Qt::ElideRight, width);
}

void QtStatusBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  for (int panel = 1; panel <= PanelCount(); ++panel) Fit(panel);
}

void QtStatusBar::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    for (int panel = 1; panel <= PanelCount(); ++panel) Fit(panel);
  }
}

void QtStatusBar::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::WindowText));
  for (int panel = 1; panel <= PanelCount(); ++panel) {
    const QRect rect = PanelRect(panel);
    if (!rect.intersects(event->rect())) continue;
    qDrawShadePanel(&painter, rect, palette(), true, 1);
    const Panel& p = At(panel);
    painter.setFont(p.font);
    painter.drawText(TextRect(panel), Qt::AlignLeft | Qt::AlignVCenter, p.shown);
  }
}

}  // namespace pelmora::toolkit::qt
