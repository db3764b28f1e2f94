// SPDX-License-Identifier: MIT
#include "toolkit/qt/drawing_area.h"

#include <QAccessible>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <cmath>

#include "toolkit/qt/accessible_factory.h"

namespace pelmora::toolkit::qt {

QtDrawingArea::QtDrawingArea(QWidget* parent) : QFrame(parent) {
  InstallAccessibleFactory();
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
  // The frame and the backing image cover every pixel: the window behind
  // need not be painted first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  RenewAccessibleInterface(this);
}

void QtDrawingArea::EnsureImage() {
  const qreal ratio = PixelRatio();
  const QSize logical = contentsRect().size();
  const QSize device(static_cast<int>(std::lround(logical.width() * ratio)),
                     static_cast<int>(std::lround(logical.height() * ratio)));
  if (!image_.isNull() && image_.size() == device && image_.devicePixelRatio() == ratio) return;
  if (painter_.isActive()) painter_.end();  // lines still pending go to the new image
  QImage resized(device.isEmpty() ? QSize(1, 1) : device, QImage::Format_RGB32);
  resized.setDevicePixelRatio(ratio);
  resized.fill(backColor_);
  if (!image_.isNull()) {
    QPainter painter(&resized);
    painter.drawImage(QPointF(0, 0), image_);
  }
  image_ = std::move(resized);
}

const QImage& QtDrawingArea::Image() {
  EndPainting();
  EnsureImage();
  return image_;
}

void QtDrawingArea::Cls() {
  EndPainting();
  EnsureImage();
  image_.fill(backColor_);
}

QPainter& QtDrawingArea::ImagePainter() {
  EnsureImage();
  if (!painter_.isActive()) {
    painter_.begin(&image_);
    painter_.setRenderHint(QPainter::Antialiasing, false);
  }
  return painter_;
}

void QtDrawingArea::EndPainting() {
  DrawPendingLines();
  if (painter_.isActive()) painter_.end();
}

float QtDrawingArea::ScaleWidth() const { return static_cast<float>(contentsRect().width()); }

float QtDrawingArea::ScaleHeight() const { return static_cast<float>(contentsRect().height()); }

void QtDrawingArea::Line(float x1, float y1, float x2, float y2, int32_t color) {
  // Lines of one colour in a row go to the painter together.
  if (penColor_ && *penColor_ != color) DrawPendingLines();
  penColor_ = color;
  pending_.emplace_back(QPointF(x1, y1), QPointF(x2, y2));
}

void QtDrawingArea::DrawPendingLines() {
  if (pending_.empty()) return;
  QPainter& painter = ImagePainter();
  const int32_t color = *penColor_;
  QPen pen(QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
  pen.setCosmetic(true);
  pen.setWidth(1);
  pen.setCapStyle(Qt::SquareCap);
  painter.setPen(pen);
  painter.drawLines(pending_.data(), static_cast<int>(pending_.size()));
  pending_.clear();
}

void QtDrawingArea::Refresh() {
  EndPainting();
  update(contentsRect());
}

void QtDrawingArea::SetDescription(std::string_view text) {
  if (text == description_) return;
  description_.assign(text);
  if (!QAccessible::isActive()) return;
  QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
  QAccessible::updateAccessibility(&changed);
}

void QtDrawingArea::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  EndPainting();
  EnsureImage();
  QPainter painter(this);
  // At a fractional pixel ratio the image may fall a device pixel short of
  // the area: what it leaves is the background.
  const QSizeF shown = image_.deviceIndependentSize();
  if (shown.width() < contentsRect().width() || shown.height() < contentsRect().height()) {
    painter.fillRect(contentsRect(), backColor_);
  }
  painter.drawImage(contentsRect().topLeft(), image_);
}

}  // namespace pelmora::toolkit::qt
