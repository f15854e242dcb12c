// The chart windows' fixed settings and the series interface the chart commands use.
#include "app/forms/chart_windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLayout>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "app/chart/chart_widget.h"
#include "app/forms/form_placement.h"
#include "qt_printers.h"

namespace qdx {
namespace {

struct SeriesSetting {
  const char* Name;
  TSeriesKind Kind;
  QColor Color;
  const char* Title;
};

struct WindowSetting {
  const char* ObjectName;
  const char* ClassName;
  const char* Caption;
  QRect Outer;
  const char* ChartTitle;
  std::vector<SeriesSetting> Series;
  std::function<std::unique_ptr<TChartForm>()> Create;
};

std::vector<WindowSetting> Windows() {
  return {
      {"Form2",
       "TForm2",
       "Brandstof verbruik",
       QRect(829, 284, 800, 617),
       "Brandstof verbruik KM per liter",
       {{"Series1", TSeriesKind::Bar, QColor(0, 128, 0), "Brandstof verbruik"},
        {"Series2", TSeriesKind::FastLine, QColor(255, 0, 0), ""}},
       [] { return std::make_unique<TForm2>(); }},
      {"Form3",
       "TForm3",
       "Verbruik/Liters/Kilometers",
       QRect(722, 343, 800, 616),
       "",
       {{"Series1", TSeriesKind::Bar, QColor(255, 0, 0), "Verbruik"},
        {"Series2", TSeriesKind::Bar, QColor(0, 128, 0), "Liters"},
        {"Series3", TSeriesKind::Bar, QColor(128, 128, 255), "Kilometers / 10"}},
       [] { return std::make_unique<TForm3>(); }},
      {"Form4",
       "TForm4",
       "Totale kosten",
       QRect(446, 455, 799, 616),
       "Kosten totaal",
       {{"Series1", TSeriesKind::Pie, DefaultChartColor(0), ""}},
       [] { return std::make_unique<TForm4>(); }},
  };
}

TEST(ChartWindowsTest, EachWindowStartsHiddenWithItsCaptionPlaceChartAndSeries) {
  for (const WindowSetting& w : Windows()) {
    SCOPED_TRACE(w.ObjectName);
    const std::unique_ptr<TChartForm> form = w.Create();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->objectName(), w.ObjectName);
    EXPECT_EQ(form->ClassName(), w.ClassName);
    EXPECT_EQ(form->windowTitle(), w.Caption);
    EXPECT_EQ(form->OuterGeometry(), w.Outer);
    EXPECT_TRUE(form->Resizable());
    const TChart& chart = form->Chart();
    EXPECT_EQ(chart.Title(), w.ChartTitle);
    EXPECT_FALSE(chart.AllowPanning());
    EXPECT_FALSE(chart.AllowZoom());
    ASSERT_EQ(chart.SeriesCount(), w.Series.size());
    for (size_t i = 0; i < w.Series.size(); ++i) {
      const TChartSeries& series = chart.Series(i);
      EXPECT_EQ(series.Name(), w.Series[i].Name);
      EXPECT_EQ(series.Kind(), w.Series[i].Kind);
      EXPECT_EQ(series.Color(), w.Series[i].Color);
      EXPECT_EQ(series.Title(), w.Series[i].Title);
      EXPECT_EQ(series.Count(), 0u);
      if (series.Kind() == TSeriesKind::Bar) {
        EXPECT_EQ(series.BarStyle(), TBarStyle::Cylinder);
        EXPECT_FALSE(series.OutlineVisible());
        EXPECT_FALSE(series.MarksVisible());
      }
    }
    // The chart fills the window and follows its size.
    form->resize(640, 480);
    form->layout()->activate();
    EXPECT_EQ(form->ChartWidget().geometry(), QRect(0, 0, 640, 480));
  }
}

// The outer size waits for the frame; hiding a window never shown must not lose it.
TEST(ChartWindowsTest, EachWindowOpensAtItsOuterSizeAlsoWhenHiddenFirst) {
  QTemporaryDir store;
  const QString previousStore = TFormPlacement::DefaultIniFileName();
  TFormPlacement::SetDefaultIniFileName(store.filePath(QStringLiteral("placement.ini")));
  for (const WindowSetting& w : Windows()) {
    SCOPED_TRACE(w.ObjectName);
    const std::unique_ptr<TChartForm> form = w.Create();
    form->hide();
    form->show();
    QApplication::processEvents();
    EXPECT_EQ(form->OuterGeometry().size(), w.Outer.size());
  }
  TFormPlacement::SetDefaultIniFileName(previousStore);
}

TEST(ChartWindowsTest, BarWindowsShareGradientWallAndDepth) {
  TForm2 form2;
  TForm3 form3;
  for (const TChart* chart : {&form2.Chart(), &form3.Chart()}) {
    EXPECT_TRUE(chart->Gradient().Visible);
    // White at the bottom, light grey at the top.
    EXPECT_EQ(chart->Gradient().Direction, TGradientDirection::BottomTop);
    EXPECT_EQ(chart->Gradient().StartColor, QColor(Qt::white));
    EXPECT_EQ(chart->Gradient().EndColor, QColor(224, 224, 224));
    EXPECT_TRUE(chart->BackWall().Visible);
    EXPECT_TRUE(chart->BackWall().Transparent);
    EXPECT_EQ(chart->BackWall().Color, QColor(Qt::white));
    EXPECT_TRUE(chart->View3D().View3D);
    EXPECT_EQ(chart->View3D().Chart3DPercent, 20);
  }
  EXPECT_EQ(form2.Chart().View3D().HorizOffset, -3);
  EXPECT_FALSE(form2.Chart().BevelVisible());
  EXPECT_EQ(form2.Series2().LineWidth(), 2);
  EXPECT_FALSE(form2.Series2().MarksVisible());

  const TChartAxis& axis = form3.Chart().LeftAxis();
  EXPECT_TRUE(axis.Logarithmic);
  EXPECT_FALSE(axis.AutomaticMinimum);
  EXPECT_EQ(axis.Minimum, 8);
  EXPECT_EQ(axis.Increment, 10);
}

TEST(ChartWindowsTest, PieWindowHasNoAxesWallsOrFrameAndShowsPercentMarks) {
  TForm4 form;
  const TChart& chart = form.Chart();
  EXPECT_EQ(chart.Gradient().StartColor, QColor(228, 228, 228));
  EXPECT_EQ(chart.Gradient().EndColor, QColor(Qt::white));
  EXPECT_FALSE(chart.AxesVisible());
  EXPECT_FALSE(chart.FrameVisible());
  EXPECT_FALSE(chart.BackWall().Visible);
  const TChartView3D& view = chart.View3D();
  EXPECT_EQ(view.Chart3DPercent, 35);
  EXPECT_EQ(view.Elevation, 315);
  EXPECT_EQ(view.Rotation, 360);
  EXPECT_EQ(view.Perspective, 0);
  EXPECT_FALSE(view.Orthogonal);
  EXPECT_FALSE(view.ClipPoints);
  EXPECT_TRUE(form.Series1().MarksVisible());
  EXPECT_EQ(form.Series1().MarksStyle(), TMarksStyle::Percent);
}

TEST(ChartSeriesTest, PointsKeepTheirOrderLabelsAndClearEmptiesOnlyTheirSeries) {
  TForm2 form;
  form.Series1().Add(12.5, QStringLiteral("1-2-2024"));
  form.Series1().Add(-3, QStringLiteral("2-2-2024"));
  form.Series1().Add(0, QStringLiteral("3-2-2024"));
  form.Series2().Add(8, QStringLiteral("1-2-2024"));
  ASSERT_EQ(form.Series1().Count(), 3u);
  EXPECT_EQ(form.Series1().Point(0).Value, 12.5);
  EXPECT_EQ(form.Series1().Point(1).Value, -3);
  EXPECT_EQ(form.Series1().Point(2).Label, QStringLiteral("3-2-2024"));
  EXPECT_EQ(form.Series1().PointColor(1), QColor(0, 128, 0));

  form.Series1().Clear();
  EXPECT_EQ(form.Series1().Count(), 0u);
  EXPECT_EQ(form.Series2().Count(), 1u);
}

TEST(ChartSeriesTest, HidingTheLineKeepsItsPointsAndDropsItFromTheLegend) {
  TForm2 form;
  form.Series2().Add(7.1, QStringLiteral("x"));
  form.SetLineSeriesShown(false);
  EXPECT_FALSE(form.Series2().Visible());
  EXPECT_FALSE(form.Series2().ShowInLegend());
  EXPECT_EQ(form.Series2().Count(), 1u);
  form.SetLineSeriesShown(true);
  EXPECT_TRUE(form.Series2().Visible());
  EXPECT_TRUE(form.Series2().ShowInLegend());
}

TEST(ChartSeriesTest, PieSlicesTakeThePaletteInOrder) {
  TForm4 form;
  for (int i = 0; i < 5; ++i) form.Series1().Add(i, QString::number(i));
  const std::span<const QColor> palette = DefaultChartPalette();
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(form.Series1().PointColor(i), palette[i]);
  EXPECT_EQ(form.Series1().TotalAbsValue(), 10);
}

TEST(ChartSeriesTest, EveryChangeNotifiesTheChart) {
  TChart chart;
  int changes = 0;
  chart.SetOnChange([&] { ++changes; });
  TChartSeries& series = chart.AddSeries(QStringLiteral("Series1"), TSeriesKind::Bar);
  const int afterAdd = changes;
  series.Add(1, QStringLiteral("a"));
  series.SetTitle(QStringLiteral("t"));
  series.SetVisible(false);
  series.Clear();
  chart.SetTitle(QStringLiteral("title"));
  EXPECT_EQ(changes, afterAdd + 5);
}

}  // namespace
}  // namespace qdx
