// The geometry of a TChart in a rectangle: where the title, legend, plot, 3D depth, value axis
// and its labels, every bar and every pie slice go, worked out without painting, so that the
// painter (chart_renderer.h) and the tests agree on where a value lands.
//
// Bar and line charts use an oblique projection: the front plane is Plot(); a point at depth z
// (0 at the front, 1 at the back) is shifted by z * DepthOffset(). Bars stand around depth 0.5
// (BarDepthSpan), lines run at depth 0.5. The view's horizontal offset is part of the layout, so
// every position it gives is a position in the drawing. Values that are not finite, and values a
// logarithmic axis cannot show, have no place.
#pragma once

#include <QColor>
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

#include "app/chart/chart_model.h"

namespace qdx {

// One legend line: the colour symbol and the text.
struct TLegendItem {
  QColor Color;
  QString Text;
};

// A pie drawn as a tilted disc: the top face's centre and radii, and the rim's height.
struct TPieGeometry {
  QPointF Center;
  double RadiusX = 0;
  double RadiusY = 0;
  double Thickness = 0;
  // Per slice, in the order of the points: start and sweep in radians, counter-clockwise from
  // the 3 o'clock direction; a slice of value 0 has sweep 0.
  std::vector<double> StartAngles;
  std::vector<double> SweepAngles;
  // The point on the top face at `angle`.
  QPointF TopPoint(double angle) const;
};

class TChartLayout {
 public:
  TChartLayout(const TChart& chart, const QRectF& bounds);

  const QRectF& Bounds() const { return bounds_; }
  const QRectF& TitleRect() const { return titleRect_; }
  const QRectF& LegendRect() const { return legendRect_; }
  const std::vector<TLegendItem>& LegendItems() const { return legendItems_; }
  double LegendRowHeight() const { return legendRowHeight_; }

  // The pie series drawn (the first visible one), if any; a chart with one shows no axes.
  const TChartSeries* PieSeries() const { return pie_; }
  const TPieGeometry& Pie() const { return pieGeometry_; }

  // The front plane of the plot and the shift from front to back.
  const QRectF& Plot() const { return plot_; }
  QPointF DepthOffset() const { return depth_; }
  QPointF Project(double x, double y, double z) const;

  double AxisMinimum() const { return axisMin_; }
  double AxisMaximum() const { return axisMax_; }
  const std::vector<double>& AxisTicks() const { return ticks_; }
  // On a logarithmic axis, the values 1 to 9 times a power of ten between the labelled ticks.
  const std::vector<double>& AxisMinorTicks() const { return minorTicks_; }
  QString AxisLabel(double value) const;
  // The front-plane height of `value`; none when the axis cannot show it.
  std::optional<double> ValueToY(double value) const;
  // The front-plane y of a bar's foot.
  double BaseY() const;

  // Points along the bottom axis: one slot per point index.
  size_t SlotCount() const { return slotCount_; }
  double SlotCenterX(size_t pointIndex) const;
  // The visible bar series side by side, in chart order.
  const std::vector<const TChartSeries*>& BarSeries() const { return bars_; }
  // The front-plane x extent of bar `barIndex` (index into BarSeries()) at `pointIndex`.
  std::pair<double, double> BarSpan(size_t barIndex, size_t pointIndex) const;
  // The depths of every bar's front and back: 0.15 to 0.85, or less for bars narrower than that.
  std::pair<double, double> BarDepthSpan() const;

  static QFont TitleFont();
  static QFont LabelFont();

 private:
  void LayOutLegend(QRectF& area);
  void LayOutPie(const QRectF& area);
  void LayOutAxes(QRectF area);
  void ComputeAxisRange(double plotHeight);

  const TChart& chart_;
  QRectF bounds_;
  QRectF titleRect_;
  QRectF legendRect_;
  std::vector<TLegendItem> legendItems_;
  double legendRowHeight_ = 0;
  const TChartSeries* pie_ = nullptr;
  TPieGeometry pieGeometry_;
  QRectF plot_;
  QPointF depth_;
  double axisMin_ = 0;
  double axisMax_ = 1;
  double step_ = 1;
  int decimals_ = 0;
  std::vector<double> ticks_;
  std::vector<double> minorTicks_;
  size_t slotCount_ = 0;
  std::vector<const TChartSeries*> bars_;
};

// A number as axis or mark text: up to `decimals` decimals, trailing zeros dropped.
QString FormatChartNumber(double value, int decimals);

// Whether `series` is drawn against the axes: visible and not a pie.
bool IsCartesian(const TChartSeries& series);

}  // namespace qdx
