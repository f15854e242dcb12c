// The import and export dialogs of the program, offscreen: the preview with the mapping, the
// report of lines that cannot be read, the insert with its progress bar, the file written by an
// export; and the two commands on the main window's menu over a real wagenlog.qdx.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <memory>

#include "app/forms/program.h"
#include "app/interchange/export_dialog.h"
#include "app/interchange/import_dialog.h"
#include "app/interchange/interchange_menu.h"
#include "wagenlog/interchange/expense_export.h"
#include "expense_tables.h"
#include "tests/foundation/locale_pin.h"
#include "ui_test_support.h"

namespace qdx {
namespace {

using interchange::ExpenseRecord;

class NoTransaction : public interchange::ExpenseTransaction {
 public:
  void Start() override {}
  void Commit() override {}
  void Rollback() override {}
};

int32_t Day(int year, int month, int day) {
  int32_t number = 0;
  TryEncodeDate(year, static_cast<uint32_t>(month), static_cast<uint32_t>(day), number);
  return number;
}

class InterchangeDialogsTest : public ::testing::Test {
 protected:
  InterchangeDialogsTest() : locale_("en_US") { tables_.Open(); }

  QString Write(const QString& name, const QByteArray& text) {
    const QString path = directory_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
  }
  static QString Cell(const QTableWidget& table, int row, int column) {
    const QTableWidgetItem* item = table.item(row, column);
    return item ? item->text() : QString();
  }

  testing::ScopedUserLocale locale_;
  QTemporaryDir directory_;
  test::TExpenseTables tables_;
  NoTransaction transaction_;
  interchange::DataSetExpenseStore store_{tables_.tb1, transaction_};
};

TEST_F(InterchangeDialogsTest, ImportShowsTheMappingAndRefusesBadLinesUntilSkipped) {
  const QString file = Write(QStringLiteral("kosten.csv"),
                             "Date;Soort;Total Cost;Liters\n"
                             "02-01-2024;brandstof;78,15;41,37\n"
                             "31-02-2024;Onderhoud;10;\n"
                             "15-01-2024;Onderhoud;1.249,50;\n");
  TImportDialog dialog(store_, file, QStringLiteral("Brandstofkosten"));
  EXPECT_EQ(dialog.Format->currentIndex(), 0);
  // Without a mapping the file has no date column: the reason, and nothing to import.
  EXPECT_TRUE(dialog.Report->toPlainText().contains(QStringLiteral("Datum")));
  EXPECT_FALSE(dialog.ImportButton->isEnabled());

  dialog.Map->setText(QStringLiteral("Datum=Date,bedrag=Total Cost,Omschrijving=Soort"));
  dialog.Reread();
  const QTableWidget& preview = *dialog.Preview;
  EXPECT_EQ(preview.horizontalHeaderItem(1)->text(), QStringLiteral("Datum\n\u2190 Date"));
  EXPECT_EQ(preview.horizontalHeaderItem(3)->text(), QStringLiteral("Bedrijf\n(leeg)"));
  EXPECT_EQ(preview.horizontalHeaderItem(5)->text(), QStringLiteral("Liters\n\u2190 Liters"));
  ASSERT_EQ(preview.rowCount(), 2);
  EXPECT_EQ(Cell(preview, 0, 0), QStringLiteral("2"));
  EXPECT_EQ(Cell(preview, 0, 1), QStringLiteral("2024-01-02"));
  EXPECT_EQ(Cell(preview, 0, 2), QStringLiteral("Brandstof"));
  EXPECT_EQ(Cell(preview, 1, 6), QStringLiteral("1249.5"));
  EXPECT_EQ(dialog.Report->toPlainText(),
            file + QStringLiteral(": line 3, column Date, value \"31-02-2024\": not a date in the "
                                  "form dd-MM-yyyy\n1 line(s) could not be read; nothing was "
                                  "imported (--skip-bad imports the others)"));
  EXPECT_FALSE(dialog.ImportButton->isEnabled());

  dialog.SkipBad->setChecked(true);
  ASSERT_TRUE(dialog.ImportButton->isEnabled());
  dialog.Import();
  EXPECT_TRUE(dialog.Imported());
  EXPECT_EQ(dialog.Progress->maximum(), 2);
  EXPECT_EQ(dialog.Progress->value(), 2);
  EXPECT_TRUE(dialog.Report->toPlainText().endsWith(
      QStringLiteral("2 record(s) imported into Brandstofkosten\n"
                     "0 duplicate(s) skipped, 1 bad line(s) skipped")));
  const std::vector<ExpenseRecord> stored = store_.ReadAll();
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[1].bedrag, 1249.5);
  EXPECT_FALSE(dialog.ImportButton->isEnabled());
}

TEST_F(InterchangeDialogsTest, ImportKnowsTheLayoutsAndTheirOptions) {
  struct Case {
    QByteArray text;
    int format;  // the layout the dialog picks
    QString dateFormat;
    int decimal;
    int records;
  };
  const std::vector<Case> cases = {
      {"\"## Log\"\n\"Data\",\"Odo (km)\",\"Fuel (litres)\",\"Price (optional)\"\n"
       "\"2024-03-10 16:01\",\"84210.0\",\"42.15\",\"80.04\"\n",
       1, {}, 0, 1},
      {"Date,Odometer,FuelConsumed,Cost,Notes\n5/8/2020,204836,8.331,$16.24,Costco\n", 2,
       QStringLiteral("M/d/yyyy"), 0, 1},
      // A comma-separated file with decimal commas in quotes.
      {"Datum,bedrag\n2024-01-02,\"78,15\"\n", 0, {}, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    TImportDialog dialog(store_, Write(QStringLiteral("in.csv"), c.text),
                         QStringLiteral("Brandstofkosten"));
    EXPECT_EQ(dialog.Format->currentIndex(), c.format);
    dialog.DateFormat->setText(c.dateFormat);
    dialog.Decimal->setCurrentIndex(c.decimal);
    dialog.Reread();
    EXPECT_EQ(dialog.Preview->rowCount(), c.records) << dialog.Report->toPlainText().toStdString();
    EXPECT_TRUE(dialog.ImportButton->isEnabled());
  }
  // A pattern that is none: the reason, and no import.
  TImportDialog dialog(store_, Write(QStringLiteral("in.csv"), "Datum,bedrag\n2024-01-02,1\n"),
                       QStringLiteral("Brandstofkosten"));
  dialog.DateFormat->setText(QStringLiteral("dd-MMM"));
  dialog.Reread();
  EXPECT_TRUE(dialog.Report->toPlainText().startsWith(QStringLiteral("date format 'dd-MMM'")));
  EXPECT_FALSE(dialog.ImportButton->isEnabled());
}

TEST_F(InterchangeDialogsTest, ExportWritesTheLayoutItPreviews) {
  const std::vector<ExpenseRecord> records = {
      {Day(2024, 1, 2), "Brandstof", "Tango", 120450, 41.37, 78.15, {}},
      {Day(2024, 1, 15), "Onderhoud", "Garage", 121002, {}, 249.5, {}},
  };
  TExportDialog dialog(records);
  EXPECT_FALSE(dialog.ExportButton->isEnabled());
  EXPECT_TRUE(dialog.Preview->toPlainText().startsWith(
      QStringLiteral("Datum,Omschrijving,Bedrijf,KMStand,Liters,bedrag,verbruik\n"
                     "2024-01-02,Brandstof,Tango,120450,41.37,78.15,\n")));
  dialog.Format->setCurrentIndex(3);  // LubeLogger service records
  EXPECT_EQ(dialog.Preview->toPlainText(),
            QStringLiteral("Date,Odometer,Description,Notes,Cost\n"
                           "2024-01-15,121002,Garage,\"\",249.5"));

  const QString path = directory_.filePath(QStringLiteral("uit.csv"));
  dialog.FileName->setText(path);
  ASSERT_TRUE(dialog.ExportButton->isEnabled());
  ASSERT_TRUE(dialog.Export());
  QFile written(path);
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  const std::string expected =
      interchange::ExpenseFileText(records, interchange::ExportLayout::LubeLoggerService);
  EXPECT_EQ(written.readAll().toStdString(), expected);

  test::ScopedErrorBoxes boxes;
  dialog.FileName->setText(directory_.filePath(QStringLiteral("geen/map/uit.csv")));
  EXPECT_FALSE(dialog.Export());
  ASSERT_EQ(boxes.Texts.size(), 1);
  EXPECT_TRUE(boxes.Texts[0].startsWith(QStringLiteral("Cannot write the output file")));
}

// The commands on the main window over a real database: the file chosen, the dialog driven,
// the records stored and the statistics computed again; the fixed window stays as it was.
TEST_F(InterchangeDialogsTest, TheMainWindowImportsAndExportsThroughItsMenu) {
  SetDatabaseDirectory(directory_.path());
  ASSERT_EQ(QProcess::execute(QStringLiteral(QDX_TOOL_PATH),
                              {QStringLiteral("create"),
                               directory_.filePath(QStringLiteral("wagenlog.qdx")),
                               QStringLiteral("--schema"), QStringLiteral("wagenlog")}),
            0);
  const QString sheet = Write(QStringLiteral("kosten.csv"),
                              "Datum;Omschrijving;bedrag\n"
                              "02-01-2024;Verzekering;78\n"
                              "15-01-2024;Onderhoud;100\n");
  const QString exported = directory_.filePath(QStringLiteral("uit.csv"));
  auto program = std::make_unique<TWagenlogProgram>();
  TForm1& form = program->Form1;
  const QSize size = form.size();

  QAction* importAction = nullptr;
  QAction* exportAction = nullptr;
  for (QAction* action : form.actions()) {
    if (action->text() == QStringLiteral("Importeren...")) importAction = action;
    if (action->text() == QStringLiteral("Exporteren...")) exportAction = action;
  }
  ASSERT_TRUE(importAction && exportAction);
  EXPECT_EQ(form.contextMenuPolicy(), Qt::ActionsContextMenu);

  const TFileChooser chooser = SetFileChooser(
      [&](QWidget*, TFileRole role, const QString&) { return role == TFileRole::Open ? sheet : exported; });
  const TDialogRunner runner = SetDialogRunner([&](QWidget& dialog) {
    if (auto* import = dynamic_cast<TImportDialog*>(&dialog)) import->Import();
    if (auto* out = dynamic_cast<TExportDialog*>(&dialog)) {
      out->Browse->click();
      EXPECT_TRUE(out->Export());
    }
  });
  test::ScopedErrorBoxes boxes;
  importAction->trigger();
  exportAction->trigger();
  SetFileChooser(chooser);
  SetDialogRunner(runner);

  EXPECT_TRUE(boxes.Texts.isEmpty()) << boxes.Texts.join('\n').toStdString();
  EXPECT_EQ(form.Label6->text(), QStringLiteral("178"));  // the total cost, computed again
  QFile file(exported);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(),
            QByteArray("Datum,Omschrijving,Bedrijf,KMStand,Liters,bedrag,verbruik\r\n"
                       "2024-01-02,Verzekering,,,,78,\r\n"
                       "2024-01-15,Onderhoud,,,,100,\r\n"));
  EXPECT_EQ(form.size(), size);
  program.reset();
  SetDatabaseDirectory({});
}

}  // namespace
}  // namespace qdx
