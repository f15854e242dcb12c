// Renders each chart window with sample data. With QDX_SCREENSHOT_DIR set, the images are kept
// there (docs/screenshots is made this way); otherwise they go to a temporary folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include "qt_printers.h"
#include "sample_charts.h"

namespace qdx {
namespace {

TEST(ScreenshotTest, EachChartWindowWithSampleData) {
  QTemporaryDir temporary;
  QString folder = qEnvironmentVariable("QDX_SCREENSHOT_DIR");
  if (folder.isEmpty()) folder = temporary.path();
  QDir().mkpath(folder);

  TForm2 form2;
  test::FillConsumption(form2);
  TForm3 form3;
  test::FillConsumptionLitresKilometres(form3);
  TForm4 form4;
  test::FillCostShares(form4);

  for (auto [form, name] : {std::pair<TChartForm*, const char*>{&form2, "form2.png"},
                            {&form3, "form3.png"},
                            {&form4, "form4.png"}}) {
    const QString file = folder + QLatin1Char('/') + QLatin1String(name);
    ASSERT_TRUE(form->SaveImage(file)) << file.toStdString();
    const QImage image(file);
    EXPECT_EQ(image.size(), form->size());
  }
}

}  // namespace
}  // namespace qdx
