// SPDX-License-Identifier: MIT
#include "toolkit/drawing_area.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <set>

#include "toolkit/qt/drawing_area.h"

namespace pelmora::toolkit::qt {
namespace {

// A drawing area on a screen of a chosen pixel ratio.
class RatioDrawingArea : public QtDrawingArea {
 public:
  explicit RatioDrawingArea(qreal ratio) : ratio_(ratio) {}

 protected:
  qreal PixelRatio() const override { return ratio_; }

 private:
  qreal ratio_;
};

constexpr QRgb kBlack = 0xFF000000;

// The set of distinct colours in the image.
std::set<QRgb> Colours(const QImage& image) {
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
  }
  return colours;
}

TEST(DrawingArea, InnerAreaIsInsideTheTwoPixelBorder) {
  QtDrawingArea area;
  area.resize(145, 73);
  EXPECT_EQ(area.ScaleWidth(), 141.0f);
  EXPECT_EQ(area.ScaleHeight(), 69.0f);
  EXPECT_EQ(area.Image().size(), QSize(141, 69));
}

TEST(DrawingArea, LinesLandInTheImageInTheirColours) {
  QtDrawingArea area;
  area.resize(145, 73);
  area.Cls();
  area.Line(0, 10, 140, 10, Rgb(255, 0, 0));
  area.Line(20, 0, 20, 68, Rgb(0, 255, 0));
  area.Line(0, 0, 68, 68, Rgb(0, 0, 255));
  area.Line(100, 60, 110, 60, Rgb(0x12, 0x34, 0x56));
  const QImage& image = area.Image();
  EXPECT_EQ(image.pixel(5, 10), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(140, 10), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(5, 9), kBlack);
  EXPECT_EQ(image.pixel(5, 11), kBlack);  // one pixel wide
  EXPECT_EQ(image.pixel(20, 40), qRgb(0, 255, 0));
  EXPECT_EQ(image.pixel(21, 40), kBlack);
  EXPECT_EQ(image.pixel(30, 30), qRgb(0, 0, 255));
  EXPECT_EQ(image.pixel(105, 60), qRgb(0x12, 0x34, 0x56));
  // Solid and without anti-aliasing: no colour but the ones drawn.
  const std::set<QRgb> expected = {kBlack, qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255),
                                   qRgb(0x12, 0x34, 0x56)};
  EXPECT_EQ(Colours(image), expected);
}

TEST(DrawingArea, ClsClearsToBlack) {
  QtDrawingArea area;
  area.resize(145, 73);
  area.Line(0, 0, 140, 68, Rgb(255, 255, 255));
  area.Cls();
  EXPECT_EQ(Colours(area.Image()), std::set<QRgb>{kBlack});
}

TEST(DrawingArea, DoublePixelRatioKeepsLogicalCoordinatesAndCrispLines) {
  RatioDrawingArea area(2.0);
  area.resize(145, 73);
  EXPECT_EQ(area.ScaleWidth(), 141.0f);
  EXPECT_EQ(area.ScaleHeight(), 69.0f);
  area.Cls();
  const QImage& image = area.Image();
  EXPECT_EQ(image.size(), QSize(282, 138));
  EXPECT_EQ(image.devicePixelRatio(), 2.0);

  area.Line(0, 10, 140, 10, Rgb(255, 0, 0));
  area.Line(10, 60, 130, 5, Rgb(0, 255, 0));
  const QImage& drawn = area.Image();
  EXPECT_EQ(drawn.pixel(100, 20), qRgb(255, 0, 0));  // logical y 10 is device row 20
  EXPECT_EQ(drawn.pixel(279, 20), qRgb(255, 0, 0));  // reaches the right edge
  const std::set<QRgb> expected = {kBlack, qRgb(255, 0, 0), qRgb(0, 255, 0)};
  EXPECT_EQ(Colours(drawn), expected);
}

TEST(DrawingArea, RepaintShowsTheBackingImageAfterHideAndShow) {
  QtDrawingArea area;
  area.resize(145, 73);
  area.Cls();
  area.Line(0, 30, 140, 30, Rgb(255, 255, 0));
  area.Refresh();
  area.show();
  area.hide();
  area.show();
  const QImage shown = area.grab().toImage();
  // The border is 2 pixels: inner (x, y) is widget (x + 2, y + 2).
  EXPECT_EQ(shown.pixel(2 + 70, 2 + 30), qRgb(255, 255, 0));
  EXPECT_EQ(shown.pixel(2 + 70, 2 + 31), kBlack);
  EXPECT_EQ(shown.pixel(2, 2), kBlack);
}

TEST(DrawingArea, ResizeKeepsThePicture) {
  QtDrawingArea area;
  area.resize(145, 73);
  area.Cls();
  area.Line(0, 5, 50, 5, Rgb(255, 0, 0));
  area.resize(200, 100);
  EXPECT_EQ(area.Image().size(), QSize(196, 96));
  EXPECT_EQ(area.Image().pixel(25, 5), qRgb(255, 0, 0));
  EXPECT_EQ(area.Image().pixel(150, 80), kBlack);
}

}  // namespace
}  // namespace pelmora::toolkit::qt
