// Renders each chart window with sample data. With QDX_SCREENSHOT_DIR set, the images are kept
// there (docs/screenshots is made this way); otherwise they go to a temporary folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <QProcess>

#include "app/demo_data.h"
#include "app/forms/data_module.h"
#include "app/forms/program.h"
#include "app/render_offscreen.h"
#include "qt_printers.h"
#include "sample_charts.h"
#include "tests/foundation/locale_pin.h"

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

// The main window over the example year of scripts/run --demo, and the seven charts after it.
TEST(ScreenshotTest, MainWindowAndEveryChartWithTheExampleYear) {
  const testing::ScopedUserLocale locale("nl_NL");
  QTemporaryDir temporary;
  QString folder = qEnvironmentVariable("QDX_SCREENSHOT_DIR");
  if (folder.isEmpty()) folder = temporary.filePath(QStringLiteral("screens"));
  SetDatabaseDirectory(temporary.path());
  ASSERT_EQ(QProcess::execute(QStringLiteral(QDX_TOOL_PATH),
                              {QStringLiteral("create"),
                               temporary.filePath(QStringLiteral("wagenlog.qdx")),
                               QStringLiteral("--schema"), QStringLiteral("wagenlog")}),
            0);
  {
    TDataModule1 data;
    data.QDXDatabase1.SetDatabaseFileName(DatabasePath());
    data.tb1.Open();
    data.tb6.Open();
    FillDemoRecords(data.tb1, data.tb6, QDate(2024, 12, 31));
  }
  {
    TWagenlogProgram program;
    const QStringList files = RenderWindows(program, folder);
    EXPECT_EQ(files.size(), 8);
    EXPECT_EQ(QImage(files.value(0)).size(), program.Form1.size());
    program.Form1.close();
  }
  SetDatabaseDirectory({});
}

}  // namespace
}  // namespace qdx
