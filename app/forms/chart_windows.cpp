#include "app/forms/chart_windows.h"

#include <QPainter>
#include <QVBoxLayout>

#include "app/chart/chart_renderer.h"
#include "app/chart/chart_widget.h"

namespace qdx {

namespace {

const QColor kLightGrey(224, 224, 224);

// The bar series look shared by the windows: cylinders without outline or marks.
void MakeCylinderBars(TChartSeries& series, QColor color, const QString& title) {
  series.SetColor(color);
  series.SetBarStyle(TBarStyle::Cylinder);
  series.SetOutlineVisible(false);
  series.SetMarksVisible(false);
  series.SetTitle(title);
}

// White at the bottom to light grey at the top, a transparent white back wall, 20 % depth.
void MakeBarChart(TChart& chart) {
  chart.SetGradient({true, Qt::white, kLightGrey, TGradientDirection::BottomTop});
  chart.SetBackWall({true, Qt::white, true});
  TChartView3D view;
  view.Chart3DPercent = 20;
  chart.SetView3D(view);
}

}  // namespace

TChartForm::TChartForm(QString className, QString objectName, const QString& caption,
                       const QRect& outer, QWidget* parent)
    : TForm(std::move(className), parent) {
  setObjectName(objectName);
  setWindowTitle(caption);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  chart1_ = new TChartWidget(this);
  chart1_->setObjectName(QStringLiteral("Chart1"));
  layout->addWidget(chart1_);
  SetOuterGeometry(outer);
}

TChart& TChartForm::Chart() {
  return chart1_->Chart();
}
const TChart& TChartForm::Chart() const {
  return chart1_->Chart();
}

QImage TChartForm::RenderImage() const {
  return RenderChartImage(Chart(), size());
}

bool TChartForm::SaveImage(const QString& fileName) const {
  return RenderImage().save(fileName, "PNG");
}

TForm2::TForm2(QWidget* parent)
    : TChartForm(QStringLiteral("TForm2"), QStringLiteral("Form2"),
                 QStringLiteral("Brandstof verbruik"), QRect(829, 284, 800, 617), parent) {
  TChart& chart = Chart();
  chart.SetTitle(QStringLiteral("Brandstof verbruik KM per liter"));
  MakeBarChart(chart);
  TChartView3D view = chart.View3D();
  view.HorizOffset = -3;
  chart.SetView3D(view);
  chart.SetBevelVisible(false);
  series1_ = &chart.AddSeries(QStringLiteral("Series1"), TSeriesKind::Bar);
  MakeCylinderBars(*series1_, QColor(0, 128, 0), QStringLiteral("Brandstof verbruik"));
  series2_ = &chart.AddSeries(QStringLiteral("Series2"), TSeriesKind::FastLine);
  series2_->SetColor(QColor(255, 0, 0));
  series2_->SetLineWidth(2);
  series2_->SetMarksVisible(false);
}

void TForm2::SetLineSeriesShown(bool shown) {
  series2_->SetVisible(shown);
  series2_->SetShowInLegend(shown);
}

TForm3::TForm3(QWidget* parent)
    : TChartForm(QStringLiteral("TForm3"), QStringLiteral("Form3"),
                 QStringLiteral("Verbruik/Liters/Kilometers"), QRect(722, 343, 800, 616), parent) {
  TChart& chart = Chart();
  MakeBarChart(chart);
  TChartAxis axis;
  axis.Logarithmic = true;
  axis.AutomaticMinimum = false;
  axis.Minimum = 8;
  axis.Increment = 10;
  chart.SetLeftAxis(axis);
  series1_ = &chart.AddSeries(QStringLiteral("Series1"), TSeriesKind::Bar);
  MakeCylinderBars(*series1_, QColor(255, 0, 0), QStringLiteral("Verbruik"));
  series2_ = &chart.AddSeries(QStringLiteral("Series2"), TSeriesKind::Bar);
  MakeCylinderBars(*series2_, QColor(0, 128, 0), QStringLiteral("Liters"));
  series3_ = &chart.AddSeries(QStringLiteral("Series3"), TSeriesKind::Bar);
  MakeCylinderBars(*series3_, QColor(128, 128, 255), QStringLiteral("Kilometers / 10"));
}

TForm4::TForm4(QWidget* parent)
    : TChartForm(QStringLiteral("TForm4"), QStringLiteral("Form4"), QStringLiteral("Totale kosten"),
                 QRect(446, 455, 799, 616), parent) {
  TChart& chart = Chart();
  chart.SetTitle(QStringLiteral("Kosten totaal"));
  chart.SetGradient({true, QColor(228, 228, 228), Qt::white, TGradientDirection::TopBottom});
  chart.SetAxesVisible(false);
  chart.SetFrameVisible(false);
  chart.SetBackWall({false, Qt::white, false});
  TChartView3D view;
  view.Chart3DPercent = 35;
  view.Elevation = 315;
  view.Rotation = 360;
  view.Perspective = 0;
  view.Orthogonal = false;
  view.ClipPoints = false;
  chart.SetView3D(view);
  series1_ = &chart.AddSeries(QStringLiteral("Series1"), TSeriesKind::Pie);
  series1_->SetMarksVisible(true);
  series1_->SetMarksStyle(TMarksStyle::Percent);
}

}  // namespace qdx
