// The chart model: what a chart window shows, independent of how it is drawn.
//
// A TChart holds a title, a legend, a left (value) axis, a background gradient, the walls, the
// 3D view settings and an ordered list of series. A TChartSeries is a bar, fast line or pie
// series whose points are added in order as (value, text label); the labels run along the bottom
// axis (in a pie: its marks and legend). The windows fill the model; TChartRenderer draws it and
// TChartWidget shows it. Every change notifies the chart's change handler so the widget repaints.
//
// Not thread-safe: the model lives on the window thread.
#pragma once

#include <QColor>
#include <QString>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace qdx {

class TChart;

enum class TSeriesKind { Bar, FastLine, Pie };
enum class TBarStyle { Rectangle, Cylinder };
// What a series' marks show for each point.
enum class TMarksStyle { Value, Percent, Label };
// Direction of a gradient, from its start colour to its end colour.
enum class TGradientDirection { TopBottom, BottomTop, LeftRight, RightLeft };

// The chart library's default colour sequence: series take the colour of their place in the
// chart, pie slices the colour of their place in the series.
std::span<const QColor> DefaultChartPalette();
QColor DefaultChartColor(size_t index);

struct TChartPoint {
  double Value = 0;
  QString Label;
};

class TChartSeries {
 public:
  TChartSeries(TChart& owner, QString name, TSeriesKind kind, QColor color);
  TChartSeries(const TChartSeries&) = delete;
  TChartSeries& operator=(const TChartSeries&) = delete;

  const QString& Name() const { return name_; }
  TSeriesKind Kind() const { return kind_; }

  // Points, in the order added.
  size_t Add(double value, QString label);
  void Clear();
  size_t Count() const { return points_.size(); }
  const TChartPoint& Point(size_t index) const { return points_.at(index); }
  std::span<const TChartPoint> Points() const { return points_; }
  // A pie slice's colour: the palette colour of its place; every other point: the series'.
  QColor PointColor(size_t index) const;
  // The sum of the absolute values, the base of a pie slice's percentage.
  double TotalAbsValue() const;

  const QString& Title() const { return title_; }
  void SetTitle(QString title);
  QColor Color() const { return color_; }
  void SetColor(QColor color);
  // A hidden series keeps its points but is not drawn.
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool ShowInLegend() const { return showInLegend_; }
  void SetShowInLegend(bool show);

  bool MarksVisible() const { return marksVisible_; }
  void SetMarksVisible(bool visible);
  TMarksStyle MarksStyle() const { return marksStyle_; }
  void SetMarksStyle(TMarksStyle style);

  TBarStyle BarStyle() const { return barStyle_; }
  void SetBarStyle(TBarStyle style);
  bool OutlineVisible() const { return outlineVisible_; }
  void SetOutlineVisible(bool visible);
  int LineWidth() const { return lineWidth_; }
  void SetLineWidth(int width);

 private:
  void Changed();

  TChart& owner_;
  QString name_;
  TSeriesKind kind_;
  std::vector<TChartPoint> points_;
  QString title_;
  QColor color_;
  bool visible_ = true;
  bool showInLegend_ = true;
  bool marksVisible_ = false;
  TMarksStyle marksStyle_ = TMarksStyle::Value;
  TBarStyle barStyle_ = TBarStyle::Rectangle;
  bool outlineVisible_ = true;
  int lineWidth_ = 1;
};

// The left (value) axis. Its maximum is automatic; its minimum automatic or fixed.
struct TChartAxis {
  bool Visible = true;
  bool Logarithmic = false;
  bool AutomaticMinimum = true;
  double Minimum = 0;
  // The distance between labels (linear), or the factor between them (logarithmic); 0 chooses
  // one that suits the axis length.
  double Increment = 0;
};

struct TChartGradient {
  bool Visible = false;
  QColor StartColor = Qt::white;
  QColor EndColor = Qt::white;
  TGradientDirection Direction = TGradientDirection::TopBottom;
};

struct TChartWall {
  bool Visible = true;
  QColor Color = Qt::white;
  // A transparent wall is outlined but not filled.
  bool Transparent = false;
};

// The 3D view. Bar and line charts are drawn in an oblique projection whose depth is
// Chart3DPercent of the plot; pies are drawn as tilted discs.
struct TChartView3D {
  bool View3D = true;
  int Chart3DPercent = 15;
  // Shifts the whole drawing sideways by this many pixels.
  int HorizOffset = 0;
  // Angles in degrees as a charting tool states them: Elevation 360 looks edge-on, 270 from
  // straight above; Rotation turns the pie about its axis (360 is no turn).
  int Elevation = 345;
  int Rotation = 345;
  int Perspective = 15;
  bool Orthogonal = true;
  bool ClipPoints = true;
};

class TChart {
 public:
  TChart();
  TChart(const TChart&) = delete;
  TChart& operator=(const TChart&) = delete;
  ~TChart();

  const QString& Title() const { return title_; }
  void SetTitle(QString title);
  bool LegendVisible() const { return legendVisible_; }
  void SetLegendVisible(bool visible);
  // Walls, axes and the plot frame.
  bool AxesVisible() const { return axesVisible_; }
  void SetAxesVisible(bool visible);
  bool FrameVisible() const { return frameVisible_; }
  void SetFrameVisible(bool visible);
  // A raised bevel around the whole chart.
  bool BevelVisible() const { return bevelVisible_; }
  void SetBevelVisible(bool visible);
  bool AllowPanning() const { return false; }
  bool AllowZoom() const { return false; }

  const TChartAxis& LeftAxis() const { return leftAxis_; }
  void SetLeftAxis(const TChartAxis& axis);
  const TChartGradient& Gradient() const { return gradient_; }
  void SetGradient(const TChartGradient& gradient);
  const TChartWall& BackWall() const { return backWall_; }
  void SetBackWall(const TChartWall& wall);
  const TChartView3D& View3D() const { return view3D_; }
  void SetView3D(const TChartView3D& view);

  // Adds a series of `kind` in the palette colour of its place; the chart owns it.
  TChartSeries& AddSeries(QString name, TSeriesKind kind);
  size_t SeriesCount() const { return series_.size(); }
  TChartSeries& Series(size_t index) { return *series_.at(index); }
  const TChartSeries& Series(size_t index) const { return *series_.at(index); }

  // Called after every change of the chart or one of its series.
  void SetOnChange(std::function<void()> handler) { onChange_ = std::move(handler); }
  void Changed() const;

 private:
  QString title_;
  bool legendVisible_ = true;
  bool axesVisible_ = true;
  bool frameVisible_ = true;
  bool bevelVisible_ = true;
  TChartAxis leftAxis_;
  TChartGradient gradient_;
  TChartWall backWall_;
  TChartView3D view3D_;
  std::vector<std::unique_ptr<TChartSeries>> series_;
  std::function<void()> onChange_;
};

}  // namespace qdx
