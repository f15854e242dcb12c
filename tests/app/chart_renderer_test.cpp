// Charts drawn offscreen with known points: what matters must be in the image.
#include "app/chart/chart_renderer.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cmath>
#include <limits>

#include "app/forms/chart_windows.h"
#include "qt_printers.h"
#include "sample_charts.h"

namespace qdx {
namespace {

constexpr QSize kSize(800, 600);

// The colour family of a pixel: which channel clearly leads.
enum class Hue { Red, Green, Blue, Other };

Hue HueOf(QColor c) {
  const int r = c.red(), g = c.green(), b = c.blue();
  if (r > g + 60 && r > b + 60) return Hue::Red;
  if (g > r + 40 && g > b + 40) return Hue::Green;
  if (b > r + 60 && b > g + 60) return Hue::Blue;
  return Hue::Other;
}

bool Near(QColor a, QColor b, int tolerance) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

QColor PixelAt(const QImage& image, QPointF point) {
  return image.pixelColor(static_cast<int>(std::lround(point.x())),
                          static_cast<int>(std::lround(point.y())));
}

// The middle of a bar's face as drawn: halfway up, at the depth middle of the cylinder.
QPointF BarMiddle(const TChartLayout& layout, size_t bar, size_t point, double value) {
  const auto [left, right] = layout.BarSpan(bar, point);
  const double y = (*layout.ValueToY(value) + layout.BaseY()) / 2;
  return layout.Project((left + right) / 2, y, 0.5);
}

TEST(ChartRendererTest, SideBySideBarsShowTheirSeriesColoursWhereTheyStand) {
  TForm3 form;
  const double values[3][3] = {{12, 40, 70}, {30, 25, 500}, {9, 60, 100}};
  for (size_t point = 0; point < 3; ++point) {
    for (size_t s = 0; s < 3; ++s) {
      form.Chart().Series(s).Add(values[point][s], QStringLiteral("p%1").arg(point));
    }
  }
  const QImage image = RenderChartImage(form.Chart(), kSize);
  const TChartLayout layout(form.Chart(), QRectF(QPointF(0, 0), QSizeF(kSize)));
  ASSERT_EQ(layout.BarSeries().size(), 3u);
  const Hue expected[3] = {Hue::Red, Hue::Green, Hue::Blue};
  for (size_t point = 0; point < 3; ++point) {
    for (size_t s = 0; s < 3; ++s) {
      const QPointF middle = BarMiddle(layout, s, point, values[point][s]);
      EXPECT_EQ(HueOf(PixelAt(image, middle)), expected[s]) << "point " << point << " series " << s;
    }
  }
  // Bars of one point stand left to right in series order, and points follow each other.
  EXPECT_LT(layout.BarSpan(0, 0).second, layout.BarSpan(1, 0).second);
  EXPECT_LT(layout.BarSpan(2, 0).second, layout.BarSpan(0, 1).first);
}

TEST(ChartRendererTest, LogarithmicAxisPutsEightAndEightyADecadeApart) {
  TForm3 form;
  form.Series1().Add(80, QStringLiteral("a"));
  form.Series2().Add(800, QStringLiteral("a"));
  form.Series3().Add(8, QStringLiteral("a"));
  const TChartLayout layout(form.Chart(), QRectF(QPointF(0, 0), QSizeF(kSize)));
  EXPECT_EQ(layout.AxisMinimum(), 8);
  const std::vector<double> expectedTicks = {8, 80, 800};
  EXPECT_EQ(layout.AxisTicks(), expectedTicks);
  EXPECT_EQ(layout.AxisLabel(8), QStringLiteral("8"));
  const double y8 = *layout.ValueToY(8);
  const double y80 = *layout.ValueToY(80);
  const double y800 = *layout.ValueToY(800);
  EXPECT_DOUBLE_EQ(y8, layout.Plot().bottom());
  EXPECT_NEAR(y8 - y80, y80 - y800, 1e-6);
  EXPECT_NEAR(y800, layout.Plot().top(), 1e-6);
  // Values a logarithmic axis cannot show are not drawn.
  EXPECT_FALSE(layout.ValueToY(0));
  EXPECT_FALSE(layout.ValueToY(-1));

  // The red bar of 80 reaches the 80 line and no further.
  const QImage image = RenderChartImage(form.Chart(), kSize);
  const auto [left, right] = layout.BarSpan(0, 0);
  const double x = (left + right) / 2;
  EXPECT_EQ(HueOf(PixelAt(image, layout.Project(x, y80 + 30, 0.5))), Hue::Red);
  EXPECT_NE(HueOf(PixelAt(image, layout.Project(x, y80 - 40, 0.5))), Hue::Red);
}

TEST(ChartRendererTest, LinearAxisCoversNegativeBarsAndTheLineIsDrawnInItsColour) {
  TForm2 form;
  const double kilometres[] = {500, -15, 250, 400};
  const double line[] = {5, 9, 7, 6};
  for (size_t i = 0; i < 4; ++i) {
    form.Series1().Add(kilometres[i], QString::number(i));
    form.Series2().Add(line[i], QString::number(i));
  }
  const QImage image = RenderChartImage(form.Chart(), kSize);
  const TChartLayout layout(form.Chart(), QRectF(QPointF(0, 0), QSizeF(kSize)));
  EXPECT_LE(layout.AxisMinimum(), -15);
  EXPECT_GE(layout.AxisMaximum(), 500);
  EXPECT_GT(*layout.ValueToY(-15), layout.BaseY());
  for (size_t i : {0, 2, 3}) {
    EXPECT_EQ(HueOf(PixelAt(image, BarMiddle(layout, 0, i, kilometres[i]))), Hue::Green) << i;
  }
  // The line passes through its points: some pixel right around each point is red.
  for (size_t i = 0; i < 4; ++i) {
    const QPointF at = layout.Project(layout.SlotCenterX(i), *layout.ValueToY(line[i]), 0.5);
    bool red = false;
    for (int dx = -2; dx <= 2 && !red; ++dx) {
      for (int dy = -2; dy <= 2 && !red; ++dy) {
        red = HueOf(PixelAt(image, at + QPointF(dx, dy))) == Hue::Red;
      }
    }
    EXPECT_TRUE(red) << "line point " << i;
  }
  // The whole drawing sits 3 pixels left of where it would be without the horizontal offset.
  TChartView3D view = form.Chart().View3D();
  view.HorizOffset = 0;
  form.Chart().SetView3D(view);
  const TChartLayout unshifted(form.Chart(), QRectF(QPointF(0, 0), QSizeF(kSize)));
  EXPECT_DOUBLE_EQ(layout.Plot().left() - unshifted.Plot().left(), -3);
}

TEST(ChartRendererTest, FivePieSlicesAreDrawnInTheirColours) {
  TForm4 form;
  test::FillCostShares(form);
  const QImage image = RenderChartImage(form.Chart(), kSize);
  const TChartLayout layout(form.Chart(), QRectF(QPointF(0, 0), QSizeF(kSize)));
  const TPieGeometry& pie = layout.Pie();
  ASSERT_EQ(pie.SweepAngles.size(), 5u);
  double sweep = 0;
  for (size_t i = 0; i < 5; ++i) {
    sweep += pie.SweepAngles[i];
    const double middle = pie.StartAngles[i] + pie.SweepAngles[i] / 2;
    const QPointF inside = pie.Center + (pie.TopPoint(middle) - pie.Center) * 0.6;
    EXPECT_TRUE(Near(PixelAt(image, inside), form.Series1().PointColor(i), 40))
        << "slice " << i << " " << PixelAt(image, inside).name().toStdString();
  }
  EXPECT_NEAR(sweep, 2 * M_PI, 1e-9);
  // The pie is tilted: seen from 45 degrees above, it is flatter than wide, with a rim.
  EXPECT_NEAR(pie.RadiusY / pie.RadiusX, std::sin(M_PI / 4), 1e-9);
  EXPECT_GT(pie.Thickness, 0);
  EXPECT_EQ(layout.LegendItems().size(), 5u);
}

TEST(ChartRendererTest, ZeroSlicesAndAnAllZeroPieDrawWithoutFault) {
  TForm4 form;
  const double values[] = {0, 120, 0, 0, 40};
  for (double v : values) form.Series1().Add(v, QStringLiteral("x"));
  const TChartLayout layout(form.Chart(), QRectF(QPointF(0, 0), QSizeF(kSize)));
  EXPECT_EQ(layout.Pie().SweepAngles[0], 0);
  EXPECT_NEAR(layout.Pie().SweepAngles[1], 1.5 * M_PI, 1e-9);
  const QImage image = RenderChartImage(form.Chart(), kSize);
  const QPointF green =
      layout.Pie().Center + (layout.Pie().TopPoint(0.75 * M_PI) - layout.Pie().Center) * 0.6;
  EXPECT_TRUE(Near(PixelAt(image, green), DefaultChartColor(1), 40));

  form.Series1().Clear();
  for (int i = 0; i < 5; ++i) form.Series1().Add(0, QStringLiteral("x"));
  const QImage empty = RenderChartImage(form.Chart(), kSize);
  const TChartLayout emptyLayout(form.Chart(), QRectF(QPointF(0, 0), QSizeF(kSize)));
  // Nothing is drawn where the pie would be: the background shows through.
  const QColor centre = PixelAt(empty, emptyLayout.Pie().Center);
  EXPECT_EQ(centre.red(), centre.green());
  EXPECT_EQ(centre.green(), centre.blue());
  EXPECT_GT(centre.red(), 220);
  EXPECT_EQ(emptyLayout.LegendItems().size(), 5u);
}

TEST(ChartRendererTest, EmptyChartsAndBadValuesDrawWithoutFault) {
  TForm2 form2;
  TForm3 form3;
  TForm4 form4;
  for (TChartForm* form : std::initializer_list<TChartForm*>{&form2, &form3, &form4}) {
    for (QSize size : {kSize, QSize(1, 1), QSize(120, 90)}) {
      const QImage image = RenderChartImage(form->Chart(), size);
      EXPECT_EQ(image.size(), size);
    }
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {nan, inf, -inf, 1e308, -1e308, 0.0}) {
    form2.Series1().Add(v, QStringLiteral("v"));
    form2.Series2().Add(v, QStringLiteral("v"));
    form3.Series1().Add(v, QStringLiteral("v"));
    form4.Series1().Add(v, QStringLiteral("v"));
  }
  for (TChartForm* form : std::initializer_list<TChartForm*>{&form2, &form3, &form4}) {
    EXPECT_EQ(RenderChartImage(form->Chart(), kSize).size(), kSize);
  }
}

TEST(ChartRendererTest, WindowImageHasTheWindowSizeAndTheChartTitle) {
  TForm2 form;
  test::FillConsumption(form, 3);
  form.resize(640, 480);
  const QImage image = form.RenderImage();
  EXPECT_EQ(image.size(), QSize(640, 480));
  const TChartLayout layout(form.Chart(), QRectF(0, 0, 640, 480));
  // The title is written in dark blue around the middle of its box.
  bool titleInk = false;
  const QRect title = layout.TitleRect().toAlignedRect();
  for (int x = title.left(); x < title.right() && !titleInk; ++x) {
    const QColor c = image.pixelColor(x, title.center().y());
    titleInk = c.blue() > 80 && c.red() < 60 && c.green() < 60;
  }
  EXPECT_TRUE(titleInk);
}

}  // namespace
}  // namespace qdx
