// SPDX-License-Identifier: MIT
#pragma once
#include <QFrame>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/drawing_area.h"

namespace pelmora::toolkit::qt {

// A sunken box around a drawing surface. Everything drawn goes into a
// backing image at the screen's device pixel ratio; painting only shows
// that image, so the picture survives being covered and uncovered.
// Coordinates are logical pixels of the inner area. Assistive tools meet it
// as a chart, described in words by SetDescription.
class QtDrawingArea : public QFrame, public toolkit::DrawingArea {
  Q_OBJECT
 public:
  explicit QtDrawingArea(QWidget* parent = nullptr);

  void Cls() override;
  float ScaleWidth() const override;
  float ScaleHeight() const override;
  // A solid line one device pixel wide, without anti-aliasing.
  void Line(float x1, float y1, float x2, float y2, int32_t color) override;
  void Refresh() override;
  // The accessible description; until the first, the widget's own.
  void SetDescription(std::string_view text) override;
  const std::string& Description() const { return description_; }

  // The backing image as it stands (after bringing it to the current size).
  const QImage& Image();

 protected:
  // The device pixel ratio the backing image is made for.
  virtual qreal PixelRatio() const { return devicePixelRatioF(); }
  void paintEvent(QPaintEvent* event) override;

 private:
  // Makes the backing image match the inner area and pixel ratio, keeping
  // what it held.
  void EnsureImage();
  // The painter on the backing image, kept open from the first line to the
  // next Refresh, so a whole graph is drawn with one painter.
  QPainter& ImagePainter();
  void EndPainting();

  QImage image_;
  QPainter painter_;
  const QColor backColor_ = Qt::black;  // what Cls fills with
  // Lines asked for and not drawn yet, all of the colour penColor_: lines
  // of one colour in a row are drawn together.
  void DrawPendingLines();
  std::vector<QLineF> pending_;
  std::optional<int32_t> penColor_;
  std::string description_;
};

}  // namespace pelmora::toolkit::qt
