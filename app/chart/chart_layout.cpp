#include "app/chart/chart_layout.h"

#include <QFontMetricsF>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace qdx {

namespace {

constexpr double kPadding = 10;
constexpr double kPi = std::numbers::pi;
// Bars fill this share of their slot; side-by-side series split it.
constexpr double kBarGroupShare = 0.7;
// Bars stand around the middle depth, taking at most this share of the depth.
constexpr double kBarDepthShare = 0.7;
// Logarithmic axes show at most this many decades of labels.
constexpr int kMaxLogSteps = 40;

bool IsFinite(double value) {
  return std::isfinite(value);
}

double DegreesToRadians(double degrees) {
  return degrees * kPi / 180.0;
}

// 1, 2 or 5 times a power of ten, at least `rough`.
double NiceStep(double rough) {
  if (!(rough > 0) || !IsFinite(rough)) return 1;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (double factor : {1.0, 2.0, 5.0, 10.0}) {
    if (factor * power >= rough * (1 - 1e-9)) return factor * power;
  }
  return 10 * power;
}

int DecimalsOf(double step) {
  int decimals = 0;
  while (decimals < 6 && std::fabs(step * std::pow(10.0, decimals) -
                                   std::round(step * std::pow(10.0, decimals))) > 1e-6) {
    ++decimals;
  }
  return decimals;
}

QString SeriesLegendText(const TChartSeries& series) {
  return series.Title().isEmpty() ? series.Name() : series.Title();
}

}  // namespace

QString FormatChartNumber(double value, int decimals) {
  QLocale locale;
  QString text = locale.toString(value, 'f', decimals);
  if (decimals > 0) {
    const QString point = locale.decimalPoint();
    if (text.contains(point)) {
      while (text.endsWith(QLatin1Char('0'))) text.chop(1);
      if (text.endsWith(point)) text.chop(point.size());
    }
  }
  if (text == QStringLiteral("-0")) text = QStringLiteral("0");
  return text;
}

bool IsCartesian(const TChartSeries& series) {
  return series.Visible() && series.Kind() != TSeriesKind::Pie;
}

QPointF TPieGeometry::TopPoint(double angle) const {
  return {Center.x() + RadiusX * std::cos(angle), Center.y() - RadiusY * std::sin(angle)};
}

QFont TChartLayout::TitleFont() {
  QFont font;
  font.setPixelSize(16);
  font.setBold(true);
  return font;
}

QFont TChartLayout::LabelFont() {
  QFont font;
  font.setPixelSize(12);
  return font;
}

TChartLayout::TChartLayout(const TChart& chart, const QRectF& bounds)
    : chart_(chart), bounds_(bounds) {
  QRectF area = bounds.adjusted(kPadding, kPadding, -kPadding, -kPadding);
  if (!chart.Title().isEmpty()) {
    const double height = QFontMetricsF(TitleFont()).height();
    titleRect_ = QRectF(area.left(), area.top(), area.width(), height);
    area.setTop(titleRect_.bottom() + kPadding);
  }
  for (size_t i = 0; i < chart.SeriesCount() && !pie_; ++i) {
    const TChartSeries& series = chart.Series(i);
    if (series.Visible() && series.Kind() == TSeriesKind::Pie) pie_ = &series;
  }
  LayOutLegend(area);
  if (pie_) {
    LayOutPie(area);
  } else {
    LayOutAxes(area);
  }
}

void TChartLayout::LayOutLegend(QRectF& area) {
  if (!chart_.LegendVisible()) return;
  if (pie_) {
    for (size_t i = 0; i < pie_->Count(); ++i) {
      legendItems_.push_back({pie_->PointColor(i), pie_->Point(i).Label});
    }
  } else {
    for (size_t i = 0; i < chart_.SeriesCount(); ++i) {
      const TChartSeries& series = chart_.Series(i);
      if (IsCartesian(series) && series.ShowInLegend()) {
        legendItems_.push_back({series.Color(), SeriesLegendText(series)});
      }
    }
  }
  if (legendItems_.empty()) return;
  const QFontMetricsF metrics(LabelFont());
  double textWidth = 0;
  for (const TLegendItem& item : legendItems_) {
    textWidth = std::max(textWidth, metrics.horizontalAdvance(item.Text));
  }
  legendRowHeight_ = metrics.height() + 4;
  // Symbol, gaps and frame; a legend never takes more than a third of the width.
  const double width = std::min(textWidth + 16 + 3 * 6, area.width() / 3);
  const double height = std::min(legendRowHeight_ * legendItems_.size() + 8, area.height());
  legendRect_ = QRectF(area.right() - width, area.center().y() - height / 2, width, height);
  area.setRight(legendRect_.left() - kPadding);
}

void TChartLayout::LayOutPie(const QRectF& area) {
  const TChartView3D& view = chart_.View3D();
  const QFontMetricsF metrics(LabelFont());
  // Room around the disc for the marks and their connecting lines.
  const double markRoomX = pie_->MarksVisible() ? metrics.horizontalAdvance("100.00 %") + 24 : 0;
  const double markRoomY = pie_->MarksVisible() ? metrics.height() + 24 : 0;
  const QRectF disc = area.adjusted(markRoomX, markRoomY, -markRoomX, -markRoomY);
  // The tilt above the disc's plane: 90 degrees looks from straight above.
  double tilt = view.View3D ? DegreesToRadians(360 - view.Elevation) : kPi / 2;
  tilt = std::clamp(tilt, 0.05, kPi / 2);
  const double squash = std::sin(tilt);
  const double depthShare = view.View3D ? view.Chart3DPercent / 100.0 * 0.7 * std::cos(tilt) : 0;
  const double radiusX =
      std::max(0.0, std::min(disc.width() / 2, disc.height() / (2 * squash + depthShare)));
  pieGeometry_.RadiusX = radiusX;
  pieGeometry_.RadiusY = radiusX * squash;
  pieGeometry_.Thickness = radiusX * depthShare;
  pieGeometry_.Center = QPointF(disc.center().x() + (view.View3D ? view.HorizOffset : 0),
                                disc.center().y() - pieGeometry_.Thickness / 2);

  const double total = pie_->TotalAbsValue();
  double angle = DegreesToRadians(360 - view.Rotation);
  for (const TChartPoint& point : pie_->Points()) {
    const double share = total > 0 && IsFinite(point.Value) ? std::fabs(point.Value) / total : 0;
    pieGeometry_.StartAngles.push_back(angle);
    pieGeometry_.SweepAngles.push_back(share * 2 * kPi);
    angle += share * 2 * kPi;
  }
}

void TChartLayout::LayOutAxes(QRectF area) {
  for (size_t i = 0; i < chart_.SeriesCount(); ++i) {
    const TChartSeries& series = chart_.Series(i);
    if (!IsCartesian(series)) continue;
    slotCount_ = std::max(slotCount_, series.Count());
    if (series.Kind() == TSeriesKind::Bar) bars_.push_back(&series);
  }
  const QFontMetricsF metrics(LabelFont());
  const bool axes = chart_.AxesVisible() && chart_.LeftAxis().Visible;
  const double bottomLabels = axes ? metrics.height() + 8 : 0;
  const TChartView3D& view = chart_.View3D();
  double depth = 0;
  if (view.View3D) {
    depth = view.Chart3DPercent / 100.0 * std::min(area.width(), area.height()) * 0.5;
  }
  depth_ = QPointF(depth * std::cos(kPi / 4), -depth * std::sin(kPi / 4));

  double plotHeight = area.height() - bottomLabels + depth_.y();
  ComputeAxisRange(plotHeight);
  double labelWidth = 0;
  if (axes) {
    for (const std::vector<double>* ticks : {&ticks_, &minorTicks_}) {
      for (double tick : *ticks) {
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(AxisLabel(tick)));
      }
    }
    labelWidth += 10;
  }
  // Half a label's width on the right, so the last bottom label is never clipped.
  plot_ = QRectF(QPointF(area.left() + labelWidth, area.top() - depth_.y()),
                 QPointF(area.right() - depth_.x(), area.bottom() - bottomLabels));
  if (plot_.width() < 1) plot_.setWidth(1);
  if (plot_.height() < 1) plot_.setHeight(1);
  plot_.translate(view.HorizOffset, 0);
}

void TChartLayout::ComputeAxisRange(double plotHeight) {
  const TChartAxis& axis = chart_.LeftAxis();
  double low = std::numeric_limits<double>::infinity();
  double high = -std::numeric_limits<double>::infinity();
  for (size_t i = 0; i < chart_.SeriesCount(); ++i) {
    const TChartSeries& series = chart_.Series(i);
    if (!IsCartesian(series)) continue;
    for (const TChartPoint& point : series.Points()) {
      if (!IsFinite(point.Value) || (axis.Logarithmic && point.Value <= 0)) continue;
      low = std::min(low, point.Value);
      high = std::max(high, point.Value);
    }
  }
  const bool empty = !(low <= high);
  ticks_.clear();
  minorTicks_.clear();

  if (axis.Logarithmic) {
    double minimum = axis.AutomaticMinimum
                         ? (empty ? 1 : std::pow(10.0, std::floor(std::log10(low))))
                         : axis.Minimum;
    if (!(minimum > 0) || !IsFinite(minimum)) minimum = 1;
    const double factor = axis.Increment > 1 && IsFinite(axis.Increment) ? axis.Increment : 10;
    int steps = 1;
    if (!empty && high > minimum) {
      steps = static_cast<int>(std::ceil(std::log(high / minimum) / std::log(factor) - 1e-9));
      steps = std::clamp(steps, 1, kMaxLogSteps);
    }
    axisMin_ = minimum;
    axisMax_ = minimum * std::pow(factor, steps);
    for (int k = 0; k <= steps; ++k) ticks_.push_back(minimum * std::pow(factor, k));
    const double firstPower = std::floor(std::log10(minimum));
    const double lastPower = std::ceil(std::log10(axisMax_));
    for (double power = firstPower; power <= lastPower && lastPower - firstPower < 400; ++power) {
      for (int m = 1; m <= 9; ++m) {
        const double value = m * std::pow(10.0, power);
        const bool major = std::any_of(ticks_.begin(), ticks_.end(), [&](double tick) {
          return std::fabs(tick - value) <= 1e-9 * value;
        });
        if (value > minimum && value < axisMax_ && !major) minorTicks_.push_back(value);
      }
    }
    step_ = factor;
    decimals_ = std::min(3, DecimalsOf(minimum));
    return;
  }

  if (empty) {
    low = 0;
    high = 1;
  }
  low = std::min(low, 0.0);
  high = std::max(high, 0.0);
  if (!axis.AutomaticMinimum && IsFinite(axis.Minimum)) low = axis.Minimum;
  if (high <= low) high = low + 1;
  const double labelSpace = QFontMetricsF(LabelFont()).height() * 2.5;
  const double wanted = std::max(2.0, std::floor(plotHeight / labelSpace));
  double step = NiceStep((high - low) / wanted);
  if (axis.Increment > 0 && IsFinite(axis.Increment) && axis.Increment > step) {
    step = axis.Increment;
  }
  if (axis.AutomaticMinimum) low = std::floor(low / step + 1e-9) * step;
  high = std::ceil(high / step - 1e-9) * step;
  if (high <= low) high = low + step;
  axisMin_ = low;
  axisMax_ = high;
  step_ = step;
  decimals_ = std::min(3, DecimalsOf(step));
  const double first = std::ceil(low / step - 1e-9) * step;
  for (double tick = first; tick <= high + step * 1e-9 && ticks_.size() < 200; tick += step) {
    ticks_.push_back(std::fabs(tick) < step * 1e-9 ? 0 : tick);
  }
}

QString TChartLayout::AxisLabel(double value) const {
  return FormatChartNumber(value, decimals_);
}

std::optional<double> TChartLayout::ValueToY(double value) const {
  if (!IsFinite(value)) return std::nullopt;
  double share;
  if (chart_.LeftAxis().Logarithmic) {
    if (value <= 0) return std::nullopt;
    share = std::log(value / axisMin_) / std::log(axisMax_ / axisMin_);
  } else {
    share = (value - axisMin_) / (axisMax_ - axisMin_);
  }
  return plot_.bottom() - share * plot_.height();
}

double TChartLayout::BaseY() const {
  if (chart_.LeftAxis().Logarithmic) return plot_.bottom();
  return *ValueToY(std::clamp(0.0, axisMin_, axisMax_));
}

QPointF TChartLayout::Project(double x, double y, double z) const {
  return {x + z * depth_.x(), y + z * depth_.y()};
}

double TChartLayout::SlotCenterX(size_t pointIndex) const {
  const double slot = plot_.width() / std::max<size_t>(slotCount_, 1);
  return plot_.left() + slot * (pointIndex + 0.5);
}

std::pair<double, double> TChartLayout::BarDepthSpan() const {
  // No deeper than wide, so that many narrow bars stay round instead of smearing into slabs.
  const double depth = std::hypot(depth_.x(), depth_.y());
  double share = kBarDepthShare;
  if (depth > 0 && slotCount_ > 0) {
    const auto [left, right] = BarSpan(0, 0);
    share = std::min(share, (right - left) / depth);
  }
  return {0.5 - share / 2, 0.5 + share / 2};
}

std::pair<double, double> TChartLayout::BarSpan(size_t barIndex, size_t pointIndex) const {
  const double slot = plot_.width() / std::max<size_t>(slotCount_, 1);
  const double group = slot * kBarGroupShare;
  const double width = group / std::max<size_t>(bars_.size(), 1);
  const double left = SlotCenterX(pointIndex) - group / 2 + width * barIndex;
  return {left, left + width};
}

}  // namespace qdx
