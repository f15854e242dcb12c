#include "app/chart/chart_renderer.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace qdx {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kLineZ = 0.5;
constexpr int kPieRimSegments = 96;

// Convex hull (monotone chain) of `points`, counter-clockwise in screen coordinates.
QPolygonF ConvexHull(std::vector<QPointF> points) {
  std::sort(points.begin(), points.end(), [](const QPointF& a, const QPointF& b) {
    return a.x() < b.x() || (a.x() == b.x() && a.y() < b.y());
  });
  if (points.size() < 3) return QPolygonF(QList<QPointF>(points.begin(), points.end()));
  auto cross = [](const QPointF& o, const QPointF& a, const QPointF& b) {
    return (a.x() - o.x()) * (b.y() - o.y()) - (a.y() - o.y()) * (b.x() - o.x());
  };
  std::vector<QPointF> hull(2 * points.size());
  size_t k = 0;
  for (const QPointF& p : points) {
    while (k >= 2 && cross(hull[k - 2], hull[k - 1], p) <= 0) --k;
    hull[k++] = p;
  }
  for (size_t i = points.size() - 1, t = k + 1; i-- > 0;) {
    while (k >= t && cross(hull[k - 2], hull[k - 1], points[i]) <= 0) --k;
    hull[k++] = points[i];
  }
  hull.resize(k - 1);
  return QPolygonF(QList<QPointF>(hull.begin(), hull.end()));
}

class TChartPainter {
 public:
  TChartPainter(QPainter& painter, const TChart& chart, const QRectF& bounds)
      : p_(painter), chart_(chart), layout_(chart, bounds) {}

  void Paint() {
    p_.save();
    p_.setRenderHint(QPainter::Antialiasing, true);
    p_.setRenderHint(QPainter::TextAntialiasing, true);
    p_.setClipRect(layout_.Bounds());
    PaintBackground();
    if (layout_.PieSeries()) {
      PaintPie(*layout_.PieSeries());
    } else {
      PaintCartesian();
    }
    PaintLegend();
    PaintTitle();
    p_.restore();
  }

 private:
  void PaintBackground() {
    const QRectF& r = layout_.Bounds();
    const TChartGradient& g = chart_.Gradient();
    if (g.Visible) {
      QPointF from = r.topLeft(), to = r.bottomLeft();
      switch (g.Direction) {
        case TGradientDirection::TopBottom:
          break;
        case TGradientDirection::BottomTop:
          std::swap(from, to);
          break;
        case TGradientDirection::LeftRight:
          to = r.topRight();
          break;
        case TGradientDirection::RightLeft:
          from = r.topRight();
          to = r.topLeft();
          break;
      }
      QLinearGradient gradient(from, to);
      gradient.setColorAt(0, g.StartColor);
      gradient.setColorAt(1, g.EndColor);
      p_.fillRect(r, gradient);
    } else {
      p_.fillRect(r, QColor(240, 240, 240));
    }
    if (chart_.BevelVisible()) {
      p_.setBrush(Qt::NoBrush);
      p_.setPen(QPen(Qt::white, 1));
      p_.drawLine(r.topLeft() + QPointF(0.5, 0.5), r.topRight() + QPointF(-0.5, 0.5));
      p_.drawLine(r.topLeft() + QPointF(0.5, 0.5), r.bottomLeft() + QPointF(0.5, -0.5));
      p_.setPen(QPen(QColor(128, 128, 128), 1));
      p_.drawLine(r.bottomLeft() + QPointF(0.5, -0.5), r.bottomRight() + QPointF(-0.5, -0.5));
      p_.drawLine(r.topRight() + QPointF(-0.5, 0.5), r.bottomRight() + QPointF(-0.5, -0.5));
    }
  }

  void PaintTitle() {
    if (layout_.TitleRect().isEmpty()) return;
    p_.setFont(TChartLayout::TitleFont());
    p_.setPen(QColor(0, 0, 128));
    p_.drawText(layout_.TitleRect(), Qt::AlignCenter | Qt::TextSingleLine,
                QFontMetricsF(TChartLayout::TitleFont())
                    .elidedText(chart_.Title(), Qt::ElideRight, layout_.TitleRect().width()));
  }

  void PaintLegend() {
    const QRectF box = layout_.LegendRect();
    if (box.isEmpty()) return;
    p_.setPen(Qt::NoPen);
    p_.setBrush(QColor(0, 0, 0, 90));
    p_.drawRect(box.translated(3, 3));
    p_.setBrush(Qt::white);
    p_.setPen(QPen(Qt::black, 1));
    p_.drawRect(box);
    const QFont font = TChartLayout::LabelFont();
    const QFontMetricsF metrics(font);
    p_.setFont(font);
    const double row = layout_.LegendRowHeight();
    double y = box.top() + 4;
    for (const TLegendItem& item : layout_.LegendItems()) {
      if (y + row > box.bottom() + 0.5) break;
      const QRectF symbol(box.left() + 6, y + (row - 10) / 2, 16, 10);
      p_.setPen(QPen(Qt::black, 1));
      p_.setBrush(item.Color);
      p_.drawRect(symbol);
      const QRectF text(symbol.right() + 6, y, box.right() - symbol.right() - 10, row);
      p_.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                  metrics.elidedText(item.Text, Qt::ElideRight, text.width()));
      y += row;
    }
  }

  void PaintCartesian() {
    const bool axes = chart_.AxesVisible() && chart_.LeftAxis().Visible;
    if (axes) PaintWalls();
    const std::vector<const TChartSeries*>& bars = layout_.BarSeries();
    // Left to right, so that a bar's front hides the back of its left neighbour.
    for (size_t point = 0; point < layout_.SlotCount(); ++point) {
      for (size_t b = 0; b < bars.size(); ++b) {
        if (point < bars[b]->Count()) PaintBar(*bars[b], b, point);
      }
    }
    for (size_t i = 0; i < chart_.SeriesCount(); ++i) {
      const TChartSeries& series = chart_.Series(i);
      if (series.Visible() && series.Kind() == TSeriesKind::FastLine) PaintLine(series);
    }
    if (axes) PaintAxisLabels();
  }

  void PaintWalls() {
    const QRectF& plot = layout_.Plot();
    const QPointF d = layout_.DepthOffset();
    const QColor edge(128, 128, 128);
    const bool is3D = d.x() != 0 || d.y() != 0;
    if (is3D) {
      const QPolygonF leftWall(
          {plot.topLeft(), plot.topLeft() + d, plot.bottomLeft() + d, plot.bottomLeft()});
      const QPolygonF floor(
          {plot.bottomLeft(), plot.bottomRight(), plot.bottomRight() + d, plot.bottomLeft() + d});
      p_.setPen(QPen(edge, 1));
      p_.setBrush(QColor(232, 232, 232));
      p_.drawPolygon(leftWall);
      p_.setBrush(QColor(214, 214, 214));
      p_.drawPolygon(floor);
    }
    const TChartWall& wall = chart_.BackWall();
    if (wall.Visible) {
      p_.setBrush(wall.Transparent ? QBrush(Qt::NoBrush) : QBrush(wall.Color));
      p_.setPen(chart_.FrameVisible() ? QPen(edge, 1) : QPen(Qt::NoPen));
      p_.drawRect(plot.translated(d));
    }
    auto drawGrid = [&](const std::vector<double>& ticks, const QPen& pen) {
      p_.setPen(pen);
      for (double tick : ticks) {
        const std::optional<double> y = layout_.ValueToY(tick);
        if (!y || *y < plot.top() - 0.5 || *y > plot.bottom() + 0.5) continue;
        const QPointF front(plot.left(), *y);
        p_.drawLine(front, front + d);
        p_.drawLine(front + d, QPointF(plot.right(), *y) + d);
      }
    };
    drawGrid(layout_.AxisMinorTicks(), QPen(QColor(205, 205, 205), 1, Qt::DotLine));
    drawGrid(layout_.AxisTicks(), QPen(QColor(150, 150, 150), 1, Qt::DotLine));
  }

  void PaintAxisLabels() {
    const QRectF& plot = layout_.Plot();
    const QFont font = TChartLayout::LabelFont();
    const QFontMetricsF metrics(font);
    p_.setFont(font);
    p_.setPen(QPen(Qt::black, 1));
    p_.drawLine(plot.topLeft(), plot.bottomLeft());
    p_.drawLine(plot.bottomLeft(), plot.bottomRight());
    std::vector<double> labelledY;
    auto drawTick = [&](double tick, double length, bool label) {
      const std::optional<double> y = layout_.ValueToY(tick);
      if (!y) return;
      p_.drawLine(QPointF(plot.left() - length, *y), QPointF(plot.left(), *y));
      const bool crowded = std::any_of(labelledY.begin(), labelledY.end(), [&](double other) {
        return std::fabs(other - *y) < metrics.height() + 2;
      });
      if (!label || crowded) return;
      const QRectF text(layout_.Bounds().left(), *y - metrics.height() / 2,
                        plot.left() - 7 - layout_.Bounds().left(), metrics.height());
      p_.drawText(text, Qt::AlignRight | Qt::AlignVCenter, layout_.AxisLabel(tick));
      labelledY.push_back(*y);
    };
    for (double tick : layout_.AxisTicks()) drawTick(tick, 4, true);
    // Minor ticks of a logarithmic axis: labelled at 1, 2 and 5 times a power of ten, room
    // allowing.
    for (double tick : layout_.AxisMinorTicks()) {
      const double mantissa = std::round(tick / std::pow(10.0, std::floor(std::log10(tick))));
      drawTick(tick, 2, mantissa == 1 || mantissa == 2 || mantissa == 5);
    }
    // The point labels of the first series with points, skipping those that would overlap.
    const TChartSeries* labelled = nullptr;
    for (size_t i = 0; i < chart_.SeriesCount() && !labelled; ++i) {
      const TChartSeries& series = chart_.Series(i);
      if (IsCartesian(series) && series.Count() == layout_.SlotCount()) labelled = &series;
    }
    if (!labelled) return;
    double lastRight = -std::numeric_limits<double>::infinity();
    const double minLeft = layout_.Bounds().left() + 2;
    const double maxRight = layout_.Bounds().right() - 2;
    for (size_t i = 0; i < labelled->Count(); ++i) {
      const QString& label = labelled->Point(i).Label;
      const double width = metrics.horizontalAdvance(label);
      double left = layout_.SlotCenterX(i) - width / 2;
      left = std::clamp(left, minLeft, std::max(minLeft, maxRight - width));
      if (left < lastRight + 6) continue;
      p_.drawText(QRectF(left, plot.bottom() + 4, width + 1, metrics.height()),
                  Qt::AlignLeft | Qt::AlignTop, label);
      lastRight = left + width;
    }
  }

  void PaintBar(const TChartSeries& series, size_t barIndex, size_t pointIndex) {
    const double value = series.Point(pointIndex).Value;
    const std::optional<double> valueY = layout_.ValueToY(value);
    if (!valueY) return;
    const QRectF& plot = layout_.Plot();
    const double top = std::clamp(std::min(*valueY, layout_.BaseY()), plot.top(), plot.bottom());
    const double bottom = std::clamp(std::max(*valueY, layout_.BaseY()), plot.top(), plot.bottom());
    auto [left, right] = layout_.BarSpan(barIndex, pointIndex);
    const double gap = (right - left) * 0.06;
    left += gap;
    right -= gap;
    const QColor color = series.Color();
    if (series.BarStyle() == TBarStyle::Cylinder) {
      PaintCylinder(left, right, top, bottom, color, series.OutlineVisible());
    } else {
      PaintBox(left, right, top, bottom, color, series.OutlineVisible());
    }
  }

  // A vertical cylinder standing between the bar depths, shaded from its left to its right.
  void PaintCylinder(double left, double right, double top, double bottom, QColor color,
                     bool outline) {
    const double cx = (left + right) / 2;
    const double rx = (right - left) / 2;
    const auto [frontZ, backZ] = layout_.BarDepthSpan();
    const double cz = (frontZ + backZ) / 2;
    const double rz = (backZ - frontZ) / 2;
    std::vector<QPointF> ring;
    std::vector<QPointF> topRing;
    constexpr int kSegments = 48;
    for (int i = 0; i < kSegments; ++i) {
      const double angle = 2 * kPi * i / kSegments;
      const double x = cx + rx * std::cos(angle);
      const double z = cz + rz * std::sin(angle);
      ring.push_back(layout_.Project(x, bottom, z));
      topRing.push_back(layout_.Project(x, top, z));
    }
    std::vector<QPointF> both = ring;
    both.insert(both.end(), topRing.begin(), topRing.end());
    const QPolygonF body = ConvexHull(std::move(both));
    const QRectF extent = body.boundingRect();
    QLinearGradient shade(extent.left(), 0, extent.right(), 0);
    shade.setColorAt(0, color.darker(170));
    shade.setColorAt(0.35, color.lighter(135));
    shade.setColorAt(0.6, color);
    shade.setColorAt(1, color.darker(190));
    p_.setPen(outline ? QPen(color.darker(200), 1) : QPen(Qt::NoPen));
    p_.setBrush(shade);
    p_.drawPolygon(body);
    p_.setBrush(color.lighter(115));
    p_.drawPolygon(QPolygonF(QList<QPointF>(topRing.begin(), topRing.end())));
  }

  void PaintBox(double left, double right, double top, double bottom, QColor color, bool outline) {
    const auto [frontZ, backZ] = layout_.BarDepthSpan();
    const QPointF f0 = layout_.Project(left, top, frontZ);
    const QPointF f1 = layout_.Project(right, bottom, frontZ);
    const QPointF back = layout_.Project(0, 0, backZ - frontZ);
    p_.setPen(outline ? QPen(Qt::black, 1) : QPen(Qt::NoPen));
    if (back != QPointF(0, 0)) {
      p_.setBrush(color.darker(140));
      p_.drawPolygon(QPolygonF({QPointF(f1.x(), f0.y()), QPointF(f1.x(), f0.y()) + back,
                                QPointF(f1.x(), f1.y()) + back, f1}));
      p_.setBrush(color.lighter(120));
      p_.drawPolygon(
          QPolygonF({f0, f0 + back, QPointF(f1.x(), f0.y()) + back, QPointF(f1.x(), f0.y())}));
    }
    p_.setBrush(color);
    p_.drawRect(QRectF(f0, f1));
  }

  void PaintLine(const TChartSeries& series) {
    p_.setPen(QPen(series.Color(), series.LineWidth(), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p_.setBrush(Qt::NoBrush);
    QPolygonF run;
    auto flush = [&] {
      if (run.size() > 1) p_.drawPolyline(run);
      run.clear();
    };
    for (size_t i = 0; i < series.Count(); ++i) {
      const std::optional<double> y = layout_.ValueToY(series.Point(i).Value);
      if (!y) {
        flush();
        continue;
      }
      run << layout_.Project(layout_.SlotCenterX(i), *y, kLineZ);
    }
    flush();
  }

  QPolygonF Arc(double from, double to, double dy) const {
    const TPieGeometry& pie = layout_.Pie();
    const int segments = std::max(2, static_cast<int>(kPieRimSegments * (to - from) / (2 * kPi)));
    QPolygonF arc;
    for (int i = 0; i <= segments; ++i) {
      arc << pie.TopPoint(from + (to - from) * i / segments) + QPointF(0, dy);
    }
    return arc;
  }

  void PaintPie(const TChartSeries& series) {
    const TPieGeometry& pie = layout_.Pie();
    if (pie.RadiusX <= 0) return;
    // The rim: only its front half (angles pi to 2 pi, turn by turn) faces the viewer.
    if (pie.Thickness > 0) {
      QLinearGradient shade(pie.Center.x() - pie.RadiusX, 0, pie.Center.x() + pie.RadiusX, 0);
      for (size_t i = 0; i < series.Count(); ++i) {
        const double sweep = pie.SweepAngles[i];
        if (sweep <= 0) continue;
        const QColor color = series.PointColor(i);
        shade.setColorAt(0, color.darker(165));
        shade.setColorAt(0.4, color.darker(115));
        shade.setColorAt(1, color.darker(185));
        const double start = pie.StartAngles[i];
        const double end = start + sweep;
        for (double turn = std::floor(start / (2 * kPi)) * 2 * kPi; turn < end; turn += 2 * kPi) {
          const double from = std::max(start, turn + kPi);
          const double to = std::min(end, turn + 2 * kPi);
          if (to <= from) continue;
          QPolygonF rim = Arc(from, to, 0);
          QPolygonF lower = Arc(from, to, pie.Thickness);
          std::reverse(lower.begin(), lower.end());
          rim << lower;
          p_.setPen(QPen(color.darker(250), 1));
          p_.setBrush(shade);
          p_.drawPolygon(rim);
        }
      }
    }
    for (size_t i = 0; i < series.Count(); ++i) {
      const double sweep = pie.SweepAngles[i];
      if (sweep <= 0) continue;
      QPolygonF face = Arc(pie.StartAngles[i], pie.StartAngles[i] + sweep, 0);
      if (sweep < 2 * kPi - 1e-9) face.prepend(pie.Center);
      const QColor color = series.PointColor(i);
      QLinearGradient light(pie.Center - QPointF(pie.RadiusX, pie.RadiusY),
                            pie.Center + QPointF(pie.RadiusX, pie.RadiusY));
      light.setColorAt(0, color.lighter(112));
      light.setColorAt(1, color.darker(108));
      p_.setPen(QPen(QColor(40, 40, 40), 1));
      p_.setBrush(light);
      p_.drawPolygon(face);
    }
    if (series.MarksVisible()) PaintPieMarks(series);
  }

  QString MarkText(const TChartSeries& series, size_t index) const {
    const TChartPoint& point = series.Point(index);
    switch (series.MarksStyle()) {
      case TMarksStyle::Percent: {
        const double total = series.TotalAbsValue();
        const double percent = total > 0 ? std::fabs(point.Value) / total * 100 : 0;
        return FormatChartNumber(percent, 2) + QStringLiteral(" %");
      }
      case TMarksStyle::Label:
        return point.Label;
      case TMarksStyle::Value:
        break;
    }
    return FormatChartNumber(point.Value, 3);
  }

  void PaintPieMarks(const TChartSeries& series) {
    const TPieGeometry& pie = layout_.Pie();
    const QFont font = TChartLayout::LabelFont();
    const QFontMetricsF metrics(font);
    p_.setFont(font);
    std::vector<QRectF> placed;
    for (size_t i = 0; i < series.Count(); ++i) {
      if (pie.SweepAngles[i] <= 0) continue;
      const double middle = pie.StartAngles[i] + pie.SweepAngles[i] / 2;
      const double c = std::cos(middle);
      const double s = std::sin(middle);
      const double drop = s < 0 ? pie.Thickness : 0;
      const QPointF anchor = pie.TopPoint(middle) + QPointF(0, drop);
      const QPointF tip(pie.Center.x() + (pie.RadiusX + 16) * c,
                        pie.Center.y() - (pie.RadiusY + 16) * s + drop);
      const QString text = MarkText(series, i);
      const QSizeF size(metrics.horizontalAdvance(text) + 8, metrics.height() + 4);
      QRectF box(QPointF(c >= 0 ? tip.x() : tip.x() - size.width(),
                         tip.y() - size.height() / 2 - s * size.height() / 2),
                 size);
      // Push a mark away from the pie's middle until it clears the marks placed before it.
      const double push = s >= 0 ? -1 : 1;
      for (int tries = 0; tries < 200; ++tries) {
        const bool clash = std::any_of(placed.begin(), placed.end(), [&](const QRectF& other) {
          return other.adjusted(-2, -2, 2, 2).intersects(box);
        });
        if (!clash) break;
        box.translate(0, push * 3);
      }
      placed.push_back(box);
      const QPointF boxAnchor(c >= 0 ? box.left() : box.right(), box.center().y());
      p_.setPen(QPen(Qt::black, 1));
      p_.drawLine(anchor, tip);
      p_.drawLine(tip, boxAnchor);
      p_.setBrush(QColor(255, 255, 225));
      p_.drawRect(box);
      p_.drawText(box, Qt::AlignCenter, text);
    }
  }

  QPainter& p_;
  const TChart& chart_;
  TChartLayout layout_;
};

}  // namespace

void PaintChart(QPainter& painter, const TChart& chart, const QRectF& bounds) {
  TChartPainter(painter, chart, bounds).Paint();
}

QImage RenderChartImage(const TChart& chart, QSize size) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter painter(&image);
  PaintChart(painter, chart, QRectF(QPointF(0, 0), QSizeF(size)));
  painter.end();
  return image;
}

bool SaveChartImage(const TChart& chart, QSize size, const QString& fileName) {
  return RenderChartImage(chart, size).save(fileName, "PNG");
}

}  // namespace qdx
