// Renders the program over the example year of scripts/run --demo: the main window and the
// seven charts. With QDX_SCREENSHOT_DIR set the images are kept there (docs/screenshots is made
// this way); otherwise they go to a temporary folder.
#include <gtest/gtest.h>

#include <QDate>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "app/demo_data.h"
#include "app/forms/program.h"
#include "app/render_offscreen.h"
#include "qt_printers.h"
#include "tests/foundation/locale_pin.h"

namespace qdx {
namespace {

// The main window over the example year of scripts/run --demo, and the seven charts after it.
TEST(ProgramScreenshotTest, MainWindowAndEveryChartWithTheExampleYear) {
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
