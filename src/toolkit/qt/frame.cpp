// SPDX-License-Identifier: MIT
#include "toolkit/qt/frame.h"

#include <qdrawutil.h>

#include <QPaintEvent>
#include <QPainter>

namespace pelmora::toolkit::qt {

QtFrame::QtFrame(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

void QtFrame::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QFontMetrics metrics = fontMetrics();
  const int edge = metrics.height() / 2;  // the top line runs through the caption
  qDrawShadeRect(&painter, QRect(0, edge, width(), height() - edge), palette(), true, 1, 0);

  // The caption is drawn again only where it was covered: a figure that
  // changes below it leaves it alone.
  const QString caption = title();
  if (caption.isEmpty() || event->rect().top() >= metrics.height()) return;
  const QRect captionRect(6, 0, metrics.horizontalAdvance(caption) + 4, metrics.height());
  painter.fillRect(captionRect, palette().window());
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  painter.drawText(captionRect, Qt::AlignCenter, caption);
}

}  // namespace pelmora::toolkit::qt
