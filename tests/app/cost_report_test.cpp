// The cost report: the costs per category per year and per month of the last twelve months,
// and the PDF document of the worked example, read back with pdftotext and pdftoppm (the
// poppler utilities), written by the window's command and by `wagenlog-render --report`.
#include "wagenlog/report/cost_report.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>

#include "app/forms/program.h"
#include "app/report/cost_report_writer.h"
#include "engine/foundation/types/date_time.h"
#include "expense_tables.h"
#include "qt_printers.h"
#include "tests/foundation/locale_pin.h"
#include "ui_test_support.h"

namespace qdx {
namespace {

using wagenlog::CostRow;

TEST(CostTablesTest, CostsPerCategoryPerYearAndPerMonthOfTheLastTwelve) {
  testing::ScopedUserLocale locale("en_US");
  test::TExpenseTables tables;
  tables.Add({{2023, 3, 15, "Brandstof", 1000, 40, 50},
              {2023, 4, 1, "Onderhoud", 0, 0, 100},
              {2023, 12, 31, "Afschrijving", 0, 0, 1000},
              {2024, 1, 10, "Parkeren", 0, 0, 7},
              {2024, 3, 1, "Brandstof", 1500, 30, 20},
              {2024, 3, 31, "Verzekering", 0, 0, 30},
              {2024, 4, 1, "Wegenbelasting", 0, 0, 5}});
  tables.SetVehicle(500);
  tables.Open();
  const wagenlog::CostTables costs = wagenlog::SumCostsPerPeriod(tables.tb1, 2024, 3);

  // Categories in the order Brandstof, Onderhoud, Verzekering, Wegenbelasting, Afschrijving; a
  // record of another description counts in the total only.
  ASSERT_EQ(costs.Years.size(), 2U);
  EXPECT_EQ(costs.Years[0].Year, 2023);
  EXPECT_EQ(costs.Years[0].Categories, (std::array<double, 5>{50, 100, 0, 0, 1000}));
  EXPECT_EQ(costs.Years[0].Total, 1150);
  EXPECT_EQ(costs.Years[1].Year, 2024);
  EXPECT_EQ(costs.Years[1].Categories, (std::array<double, 5>{20, 0, 30, 5, 0}));
  EXPECT_EQ(costs.Years[1].Total, 62);

  // April 2023 to March 2024: the month before and the month after fall outside.
  struct TMonth {
    size_t Index;
    int32_t Year;
    uint32_t Month;
    std::array<double, 5> Categories;
    double Total;
  };
  const TMonth months[] = {{0, 2023, 4, {0, 100, 0, 0, 0}, 100},
                           {5, 2023, 9, {}, 0},
                           {8, 2023, 12, {0, 0, 0, 0, 1000}, 1000},
                           {9, 2024, 1, {}, 7},
                           {11, 2024, 3, {20, 0, 30, 0, 0}, 50}};
  ASSERT_EQ(costs.Months.size(), 12U);
  for (const TMonth& m : months) {
    SCOPED_TRACE(m.Index);
    const CostRow& row = costs.Months[m.Index];
    EXPECT_EQ(row.Year, m.Year);
    EXPECT_EQ(row.Month, m.Month);
    EXPECT_EQ(row.Categories, m.Categories);
    EXPECT_EQ(row.Total, m.Total);
  }
  // The walk leaves the table at its start, as the window shows it after a command.
  EXPECT_TRUE(tables.tb1.Bof());
}

TEST(CostTablesTest, TwelveMonthsReachBackOverTheTurnOfTheYear) {
  test::TExpenseTables tables;
  tables.SetVehicle(0);
  tables.Open();
  const wagenlog::CostTables costs = wagenlog::SumCostsPerPeriod(tables.tb1, 2025, 1);
  ASSERT_EQ(costs.Months.size(), 12U);
  EXPECT_EQ(std::make_pair(costs.Months.front().Year, costs.Months.front().Month),
            std::make_pair(2024, 2U));
  EXPECT_EQ(std::make_pair(costs.Months.back().Year, costs.Months.back().Month),
            std::make_pair(2025, 1U));
  EXPECT_TRUE(costs.Years.empty());
}

TEST(CostTablesTest, TheVehicleIsNamedByItsRecord) {
  test::TExpenseTables tables;
  EXPECT_EQ(wagenlog::VehicleName(tables.tb6), u"");  // closed
  tables.Open();
  EXPECT_EQ(wagenlog::VehicleName(tables.tb6), u"");  // no record
  tables.tb6.Close();
  tables.SetVehicle(0);
  tables.tb6.Open();
  EXPECT_EQ(wagenlog::VehicleName(tables.tb6), u"Volvo V70 12-AB-34");
}

// The report of the worked example, in a database as the program keeps it.
class CostReportTest : public ::testing::Test {
 protected:
  CostReportTest() : locale_("en_US") {}
  ~CostReportTest() override { SetDatabaseFile({}); }

  void SetUp() override {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty()) {
      GTEST_SKIP() << "pdftotext and pdftoppm (Debian package poppler-utils, installed by "
                      "scripts/setup) are needed to read the report back";
    }
    ASSERT_EQ(QProcess::execute(QStringLiteral(QDX_TOOL_PATH),
                                {QStringLiteral("create"), database_, QStringLiteral("--schema"),
                                 QStringLiteral("wagenlog")}),
              0);
    TDataModule1 data;
    data.QDXDatabase1.SetDatabaseFileName(database_.toStdString());
    data.tb1.Open();
    data.tb6.Open();
    data.tb6.Append();
    data.tb6.FieldByName("Merk").SetAsString(u"Volvo");
    data.tb6.FieldByName("Type").SetAsString(u"V70");
    data.tb6.FieldByName("Kenteken").SetAsString(u"AB-12-CD");
    data.tb6.FieldByName("Start_km-stand").SetAsInteger(10000);
    data.tb6.Post();
    struct TRecord {
      int Month, Day;
      const char16_t* Category;
      int32_t KmStand;
      double Liters, Bedrag;
    };
    for (const TRecord& r : {TRecord{1, 10, u"Brandstof", 10500, 40, 60.00},
                             TRecord{1, 20, u"Onderhoud", 0, 0, 100.00},
                             TRecord{2, 5, u"Brandstof", 11000, 35, 56.00}}) {
      int32_t day = 0;
      TryEncodeDate(2024, static_cast<uint32_t>(r.Month), static_cast<uint32_t>(r.Day), day);
      data.tb1.Append();
      data.tb1.FieldByName("Datum").SetAsDateTime(DayNumberToDateValue(day));
      data.tb1.FieldByName("Omschrijving").SetAsString(r.Category);
      data.tb1.FieldByName("KMStand").SetAsInteger(r.KmStand);
      data.tb1.FieldByName("Liters").SetAsFloat(r.Liters);
      data.tb1.FieldByName("bedrag").SetAsCurrency(r.Bedrag);
      data.tb1.Post();
    }
  }

  // The text of the document, or of one page of it.
  static QString PdfText(const QString& pdf, int page = 0) {
    QStringList arguments{QStringLiteral("-layout")};
    if (page > 0) arguments << "-f" << QString::number(page) << "-l" << QString::number(page);
    arguments << pdf << QStringLiteral("-");
    QProcess process;
    process.start(QStringLiteral("pdftotext"), arguments);
    EXPECT_TRUE(process.waitForFinished(60'000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
  }

  // The pages as PNG images.
  QList<QImage> PdfPages(const QString& pdf) const {
    const QString prefix = directory_.filePath(QStringLiteral("pagina"));
    EXPECT_EQ(
        QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"),
                                                       QStringLiteral("20"), pdf, prefix}),
        0);
    QList<QImage> pages;
    const QStringList files =
        QDir(directory_.path())
            .entryList({QStringLiteral("pagina-*.png")}, QDir::Files, QDir::Name);
    for (const QString& file : files) pages << QImage(directory_.filePath(file));
    return pages;
  }

  // The first page holds the statistics of the worked example as the window shows them and
  // each fuel record's own consumption; then one landscape page per chart, in the order of the
  // chart commands.
  void ExpectWorkedExample(const QString& pdf) {
    const QString text = PdfText(pdf);
    for (const char* expected : {"Kostenrapport", "Volvo V70 AB-12-CD", "Voertuiggegevens",
                                 "Statistieken", "Kosten per jaar", "Tankbeurten", "12.5", "14.29",
                                 "13.333", "7.500", "$0.216", "$216.00", "$116.00", "$100.00"}) {
      EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected;
    }
    const QList<QImage> pages = PdfPages(pdf);
    ASSERT_EQ(pages.size(), 8);
    EXPECT_LT(pages[0].width(), pages[0].height());
    const char* titles[] = {"Verbruik",
                            "Getankte liters",
                            "Brandstof prijs in Euro centen",
                            "Gereden kilometers",
                            "Verbruik/liters/kilometers",
                            "Kosten totaal",
                            "Kosten per maand"};
    for (int i = 0; i < 7; ++i) {
      SCOPED_TRACE(titles[i]);
      EXPECT_GT(pages[i + 1].width(), pages[i + 1].height());
      EXPECT_TRUE(PdfText(pdf, i + 2).contains(QString::fromUtf8(titles[i])));
    }
  }

  testing::ScopedUserLocale locale_;
  QTemporaryDir directory_;
  QString database_ = directory_.filePath(QStringLiteral("volvo.qdx"));
  QString pdf_ = directory_.filePath(QStringLiteral("rapport.pdf"));
};

TEST_F(CostReportTest, TheWindowsCommandWritesTheWorkedExample) {
  SetDatabaseFile(database_);
  TWagenlogProgram program;
  program.Form1.show();
  WriteCostReport(program.Form1, pdf_);
  ExpectWorkedExample(pdf_);
  // The chart windows drew the charts off the screen and stay hidden.
  EXPECT_FALSE(program.Form2.isVisible());
  EXPECT_FALSE(program.Form3.isVisible());
  EXPECT_FALSE(program.Form4.isVisible());
}

TEST_F(CostReportTest, RenderWritesTheReportOfTheFileGiven) {
  QProcess render;
  render.start(QStringLiteral(WAGENLOG_RENDER_PATH), {QStringLiteral("--report"), pdf_, database_});
  ASSERT_TRUE(render.waitForFinished(120'000));
  EXPECT_EQ(render.exitCode(), 0) << render.readAllStandardError().toStdString();
  EXPECT_TRUE(PdfText(pdf_).contains(QStringLiteral("14.29")));
  EXPECT_EQ(PdfPages(pdf_).size(), 8);

  // A file that does not open writes no report and fails.
  const QString none = directory_.filePath(QStringLiteral("geen.pdf"));
  render.start(
      QStringLiteral(WAGENLOG_RENDER_PATH),
      {QStringLiteral("--report"), none, directory_.filePath(QStringLiteral("ontbreekt.qdx"))});
  ASSERT_TRUE(render.waitForFinished(120'000));
  EXPECT_NE(render.exitCode(), 0);
  EXPECT_FALSE(render.readAllStandardError().isEmpty());
  EXPECT_FALSE(QFileInfo::exists(none));

  // A report that cannot be written says so and fails.
  render.start(QStringLiteral(WAGENLOG_RENDER_PATH),
               {QStringLiteral("--report"), directory_.filePath(QStringLiteral("geen-map/x.pdf")),
                database_});
  ASSERT_TRUE(render.waitForFinished(120'000));
  EXPECT_NE(render.exitCode(), 0);
  EXPECT_TRUE(render.readAllStandardError().contains("Het rapport kon niet worden geschreven"));
}

}  // namespace
}  // namespace qdx
