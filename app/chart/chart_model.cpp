#include "app/chart/chart_model.h"

#include <array>
#include <cmath>

namespace qdx {

namespace {

// The charting tool's default colours, in order.
const std::array<QColor, 16> kPalette = {
    QColor(255, 0, 0),     QColor(0, 128, 0),     QColor(255, 255, 0), QColor(0, 0, 255),
    QColor(255, 255, 255), QColor(128, 128, 128), QColor(255, 0, 255), QColor(0, 128, 128),
    QColor(0, 0, 128),     QColor(128, 0, 0),     QColor(0, 255, 0),   QColor(128, 128, 0),
    QColor(128, 0, 128),   QColor(192, 192, 192), QColor(0, 255, 255), QColor(0, 0, 0)};

}  // namespace

std::span<const QColor> DefaultChartPalette() {
  return kPalette;
}

QColor DefaultChartColor(size_t index) {
  return kPalette[index % kPalette.size()];
}

TChartSeries::TChartSeries(TChart& owner, QString name, TSeriesKind kind, QColor color)
    : owner_(owner), name_(std::move(name)), kind_(kind), color_(color) {
  if (kind_ == TSeriesKind::Pie) {
    marksVisible_ = true;
    marksStyle_ = TMarksStyle::Percent;
  }
}

size_t TChartSeries::Add(double value, QString label) {
  points_.push_back({value, std::move(label)});
  Changed();
  return points_.size() - 1;
}

void TChartSeries::Clear() {
  points_.clear();
  Changed();
}

QColor TChartSeries::PointColor(size_t index) const {
  return kind_ == TSeriesKind::Pie ? DefaultChartColor(index) : color_;
}

double TChartSeries::TotalAbsValue() const {
  double total = 0;
  for (const TChartPoint& point : points_) total += std::fabs(point.Value);
  return total;
}

void TChartSeries::SetTitle(QString title) {
  title_ = std::move(title);
  Changed();
}

void TChartSeries::SetColor(QColor color) {
  color_ = color;
  Changed();
}

void TChartSeries::SetVisible(bool visible) {
  visible_ = visible;
  Changed();
}

void TChartSeries::SetShowInLegend(bool show) {
  showInLegend_ = show;
  Changed();
}

void TChartSeries::SetMarksVisible(bool visible) {
  marksVisible_ = visible;
  Changed();
}

void TChartSeries::SetMarksStyle(TMarksStyle style) {
  marksStyle_ = style;
  Changed();
}

void TChartSeries::SetBarStyle(TBarStyle style) {
  barStyle_ = style;
  Changed();
}

void TChartSeries::SetOutlineVisible(bool visible) {
  outlineVisible_ = visible;
  Changed();
}

void TChartSeries::SetLineWidth(int width) {
  lineWidth_ = width < 1 ? 1 : width;
  Changed();
}

void TChartSeries::Changed() {
  owner_.Changed();
}

TChart::TChart() = default;
TChart::~TChart() = default;

void TChart::SetTitle(QString title) {
  title_ = std::move(title);
  Changed();
}

void TChart::SetLegendVisible(bool visible) {
  legendVisible_ = visible;
  Changed();
}

void TChart::SetAxesVisible(bool visible) {
  axesVisible_ = visible;
  Changed();
}

void TChart::SetFrameVisible(bool visible) {
  frameVisible_ = visible;
  Changed();
}

void TChart::SetBevelVisible(bool visible) {
  bevelVisible_ = visible;
  Changed();
}

void TChart::SetLeftAxis(const TChartAxis& axis) {
  leftAxis_ = axis;
  Changed();
}

void TChart::SetGradient(const TChartGradient& gradient) {
  gradient_ = gradient;
  Changed();
}

void TChart::SetBackWall(const TChartWall& wall) {
  backWall_ = wall;
  Changed();
}

void TChart::SetView3D(const TChartView3D& view) {
  view3D_ = view;
  Changed();
}

TChartSeries& TChart::AddSeries(QString name, TSeriesKind kind) {
  QColor color = DefaultChartColor(series_.size());
  series_.push_back(std::make_unique<TChartSeries>(*this, std::move(name), kind, color));
  Changed();
  return *series_.back();
}

void TChart::Changed() const {
  if (onChange_) onChange_();
}

}  // namespace qdx
