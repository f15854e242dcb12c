// The three chart windows. Each is a TForm whose only content is a chart that fills it and
// follows its size; each is hidden at creation and keeps its placement in the store.
//
//   Form2 "Brandstof verbruik": Series1 (green cylinder bars) and Series2 (red fast line)
//   Form3 "Verbruik/Liters/Kilometers": Series1..3, bars side by side on a logarithmic axis
//   Form4 "Totale kosten": Series1, a 3D pie with percentage marks
//
// The chart commands of the main window fill them through Chart() and the series accessors:
// clear a series, set the chart and series titles, add points, and show or hide Form2's line.
#pragma once

#include <QImage>
#include <QString>

#include "app/chart/chart_model.h"
#include "app/forms/form.h"

namespace qdx {

class TChartWidget;

// A window that shows one chart.
class TChartForm : public TForm {
 public:
  TChart& Chart();
  const TChart& Chart() const;
  TChartWidget& ChartWidget() { return *chart1_; }

  // Draws the window's chart at the window's current size.
  QImage RenderImage() const;
  // Writes RenderImage() as a PNG file; false when the file cannot be written.
  bool SaveImage(const QString& fileName) const;

 protected:
  // A hidden window with `caption`, first placed at `outer` (frame included).
  TChartForm(QString className, QString objectName, const QString& caption, const QRect& outer,
             QWidget* parent);

 private:
  TChartWidget* chart1_;
};

class TForm2 : public TChartForm {
 public:
  explicit TForm2(QWidget* parent = nullptr);
  TChartSeries& Series1() { return *series1_; }
  TChartSeries& Series2() { return *series2_; }
  // The line series drawn and listed in the legend, or neither.
  void SetLineSeriesShown(bool shown);

 private:
  TChartSeries* series1_;
  TChartSeries* series2_;
};

class TForm3 : public TChartForm {
 public:
  explicit TForm3(QWidget* parent = nullptr);
  TChartSeries& Series1() { return *series1_; }
  TChartSeries& Series2() { return *series2_; }
  TChartSeries& Series3() { return *series3_; }

 private:
  TChartSeries* series1_;
  TChartSeries* series2_;
  TChartSeries* series3_;
};

class TForm4 : public TChartForm {
 public:
  explicit TForm4(QWidget* parent = nullptr);
  TChartSeries& Series1() { return *series1_; }

 private:
  TChartSeries* series1_;
};

}  // namespace qdx
