// SPDX-License-Identifier: MIT
#include "app/qt/icon.h"

#include <QImage>
#include <QPainter>

namespace pelmora::app::qt {

namespace {

// Colours of the 16-colour palette.
const QColor kLightGrey(192, 192, 192);
const QColor kDarkGrey(128, 128, 128);
const QColor kDarkGreen(0, 128, 0);

}  // namespace

QPixmap DrawPelmoraIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, false);

  // The bezel: light grey, lit from the top left.
  const int s = size;
  const int bezel = s >= 32 ? 4 : 2;
  p.fillRect(0, 0, s, s, kLightGrey);
  p.setPen(Qt::white);
  p.drawLine(0, 0, s - 1, 0);
  p.drawLine(0, 0, 0, s - 1);
  p.setPen(kDarkGrey);
  p.drawLine(1, s - 1, s - 1, s - 1);
  p.drawLine(s - 1, 1, s - 1, s - 1);

  // The screen, sunk into the bezel.
  const QRect screen(bezel, bezel, s - 2 * bezel, s - 2 * bezel);
  p.fillRect(screen, Qt::black);
  p.setPen(kDarkGrey);
  p.drawLine(screen.left() - 1, screen.top() - 1, screen.right(), screen.top() - 1);
  p.drawLine(screen.left() - 1, screen.top() - 1, screen.left() - 1, screen.bottom());

  // The grid.
  p.setPen(kDarkGreen);
  const int step = s >= 32 ? 6 : 4;
  for (int x = screen.left() + step - 1; x < screen.right(); x += step) {
    p.drawLine(x, screen.top(), x, screen.bottom());
  }
  for (int y = screen.top() + step - 1; y < screen.bottom(); y += step) {
    p.drawLine(screen.left(), y, screen.right(), y);
  }

  // The trace across it.
  p.setPen(Qt::white);
  const double w = screen.width() - 1;
  const double h = screen.height() - 1;
  const double shape[] = {0.70, 0.55, 0.62, 0.30, 0.45, 0.20, 0.38, 0.58, 0.50};
  const int points = sizeof shape / sizeof shape[0];
  QPoint previous;
  for (int i = 0; i < points; ++i) {
    const QPoint point(screen.left() + static_cast<int>(w * i / (points - 1) + 0.5),
                       screen.top() + static_cast<int>(h * shape[i] + 0.5));
    if (i > 0) p.drawLine(previous, point);
    previous = point;
  }
  p.end();
  return QPixmap::fromImage(image);
}

QIcon PelmoraIcon() {
  QIcon icon;
  icon.addPixmap(DrawPelmoraIcon(16));
  icon.addPixmap(DrawPelmoraIcon(32));
  return icon;
}

}  // namespace pelmora::app::qt
