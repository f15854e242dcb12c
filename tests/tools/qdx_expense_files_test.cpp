// qdx import and qdx export --format on real database files: the expense table of a database
// made by `qdx create --schema wagenlog`, CSV files on disk, and the records read back through a
// table dataset. Round trips through every layout, the transaction's all or nothing, and a dry
// run that leaves the database file byte for byte as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dataset/framework/field_defs.h"
#include "dataset/framework/index_defs.h"
#include "dataset/qdx_database.h"
#include "dataset/table_maintenance.h"
#include "tests/wagenlog/interchange_test_support.h"
#include "tests/disk/disk_test_support.h"
#include "tests/tools/qdx_run.h"
#include "tools/qdx/qdx_expense_table.h"

namespace qdx {
namespace {

using ::testing::HasSubstr;
using interchange::ExpenseRecord;
using interchange::testing::Day;
using interchange::testing::Expense;
using testing::Outcome;
using testing::RunQdxInProcess;

constexpr const char* kTable = "Brandstofkosten";

// Records every layout carries over unchanged: the five categories and none, texts with separators,
// quotes and Windows-1252 letters, amounts with cents and a refund.
std::vector<ExpenseRecord> TravelledRecords() {
  return {
      Expense(Day(2024, 1, 2), "Brandstof", "Tango, Zwolle", 120450, 41.37, 78.15),
      Expense(Day(2024, 1, 15), "Onderhoud", "Garage \"De Vries\"", 121002, {}, 1249.5),
      Expense(Day(2024, 1, 31), "Verzekering", "Caf\xE9 \x80 verzekerd", {}, {}, 62.4),
      Expense(Day(2024, 2, 1), "Wegenbelasting", "Belastingdienst", {}, {}, 96.0),
      Expense(Day(2024, 2, 29), "Afschrijving", "Jaar 1", {}, {}, -1500.25),
      Expense(Day(2024, 3, 10), "Brandstof", "Shell", 121480, 40.004, 80.0401),
      Expense(Day(2024, 3, 11), "", "Parkeren", {}, {}, 4.2),  // no category
  };
}

std::vector<ExpenseRecord> Sorted(std::vector<ExpenseRecord> records) {
  std::sort(records.begin(), records.end(), [](const ExpenseRecord& a, const ExpenseRecord& b) {
    return std::tie(a.Datum, a.Omschrijving, a.Bedrijf) < std::tie(b.Datum, b.Omschrijving, b.Bedrijf);
  });
  return records;
}

class QdxExpenseFilesTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    ASSERT_EQ(Qdx({"create", path, "--schema", "wagenlog"}).Status, 0);
  }

  static Outcome Qdx(const std::vector<std::string>& args) { return RunQdxInProcess(args); }

  std::string File(const std::string& name) const {
    return (std::filesystem::path(path).parent_path() / name).string();
  }
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(File(name), std::ios::binary) << text;
    return File(name);
  }
  static std::string Read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  // A new database of the program's two tables.
  std::string NewDatabase(const std::string& name) const {
    EXPECT_EQ(Qdx({"create", File(name), "--schema", "wagenlog"}).Status, 0);
    return File(name);
  }
  static std::vector<ExpenseRecord> Stored(const std::string& database) {
    tools::ExpenseTableAccess table(database, "", kTable, /*readOnly=*/true);
    return table.Store().ReadAll();
  }
  static void Store(const std::string& database, const std::vector<ExpenseRecord>& records) {
    tools::ExpenseTableAccess table(database, "", kTable, /*readOnly=*/false);
    table.Store().InsertAll(records);
  }
};

TEST_F(QdxExpenseFilesTest, ASpreadsheetGoesIntoTheTableOnceUnlessDuplicatesAreAllowed) {
  const std::string sheet = Write("kosten.csv", interchange::testing::SampleFile("spreadsheet_nl.csv"));
  const Outcome first = Qdx({"import", path, kTable, sheet});
  EXPECT_EQ(first.Status, 0) << first.Err;
  EXPECT_EQ(first.Out,
            "4 record(s) imported into Brandstofkosten\n"
            "0 duplicate(s) skipped, 0 bad line(s) skipped\n");
  const std::vector<ExpenseRecord> expected = {
      Expense(Day(2024, 1, 2), "Brandstof", "Tango Zwolle", 120450, 41.37, 78.15),
      Expense(Day(2024, 1, 15), "Onderhoud", "Garage \"De Vries\"; Zwolle", 121002, {}, 1249.5),
      Expense(Day(2024, 1, 31), "Verzekering", "", {}, {}, 62.4),
      Expense(Day(2024, 2, 1), "Wegenbelasting", "Belasting-\r\ndienst", {}, {}, 96.0),
  };
  EXPECT_EQ(Stored(path), expected);

  const Outcome again = Qdx({"import", path, kTable, sheet});
  EXPECT_EQ(again.Status, 0);
  EXPECT_THAT(again.Err, HasSubstr("line 5: the table holds this expense already; skipped"));
  EXPECT_THAT(again.Out, HasSubstr("0 record(s) imported"));
  EXPECT_EQ(Stored(path).size(), 4u);

  EXPECT_EQ(Qdx({"import", path, kTable, sheet, "--allow-duplicates"}).Status, 0);
  EXPECT_EQ(Stored(path).size(), 8u);
  EXPECT_EQ(Qdx({"check", path}).Status, 0);
}

TEST_F(QdxExpenseFilesTest, ABadLineInsertsNothingUnlessSkipped) {
  const std::string sheet = Write("kosten.csv",
                                  "Datum,bedrag,Omschrijving\n"
                                  "2024-01-02,78.15,Brandstof\n"
                                  "2024-01-03,twaalf,Brandstof\n"
                                  "2024-01-04,10,Tanken\n"
                                  "2024-01-05,\"5.5\n");
  const Outcome refused = Qdx({"import", path, kTable, sheet});
  EXPECT_EQ(refused.Status, 1);
  EXPECT_EQ(refused.Err,
            sheet + ": line 3, column bedrag, value \"twaalf\": not a number\n" + sheet +
                ": line 4, column Omschrijving, value \"Tanken\": not one of Brandstof, "
                "Onderhoud, Verzekering, Wegenbelasting, Afschrijving\n" +
                sheet + ": line 5: quoted field not closed\n"
                "qdx: 3 line(s) could not be read; nothing was imported (--skip-bad imports the "
                "others)\n");
  EXPECT_TRUE(Stored(path).empty());

  const Outcome skipped = Qdx({"import", path, kTable, sheet, "--skip-bad"});
  EXPECT_EQ(skipped.Status, 0);
  EXPECT_THAT(skipped.Out, HasSubstr("0 duplicate(s) skipped, 3 bad line(s) skipped"));
  EXPECT_EQ(Stored(path),
            std::vector<ExpenseRecord>{Expense(Day(2024, 1, 2), "Brandstof", "", {}, {}, 78.15)});
}

TEST_F(QdxExpenseFilesTest, ADryRunLeavesTheDatabaseFileAsItWas) {
  Store(path, {Expense(Day(2023, 12, 1), "Onderhoud", "Garage", {}, {}, 99.0)});
  const std::vector<uint8_t> before = ReadAll();
  const std::string sheet = Write("kosten.csv",
                                  "Datum;Omschrijving;bedrag;Liters\n"
                                  "1-12-2023;Onderhoud;99;\n"
                                  "2-1-2024;Brandstof;78,15;41,37\n");
  const Outcome dry =
      Qdx({"import", path, kTable, sheet, "--dry-run", "--date-format", "d-M-yyyy"});
  EXPECT_EQ(dry.Status, 0) << dry.Err;
  EXPECT_EQ(dry.Out,
            "line\tDatum\tOmschrijving\tBedrijf\tKMStand\tLiters\tbedrag\n"
            "3\t2024-01-02\tBrandstof\t\t\t41.37\t78.15\n"
            "dry run: 1 record(s) would be imported into Brandstofkosten\n"
            "1 duplicate(s) skipped, 0 bad line(s) skipped\n");
  EXPECT_EQ(ReadAll(), before);
}

// The insert is one transaction: when the table refuses a record half-way (here a unique index
// on the date), the records posted before it are gone as well.
TEST_F(QdxExpenseFilesTest, ARecordTheTableRefusesUndoesTheWholeImport) {
  const std::string database = File("uniek.qdx");
  {
    TQDXDatabase db("qdx");
    db.SetDatabaseName("uniek");
    db.SetDatabaseFileName(database);
    db.SilentMode = true;
    db.CreateDatabase();
    db.Open();
    TFieldDefs fields;
    for (const auto& [name, type] : {std::pair{"Datum", ftDate}, {"Omschrijving", ftString},
                                     {"Bedrijf", ftString}, {"KMStand", ftInteger},
                                     {"Liters", ftFloat}, {"bedrag", ftCurrency},
                                     {"verbruik", ftFloat}}) {
      fields.Add(name, type, type == ftString ? 30 : 0);
    }
    TIndexDefs indexes;
    indexes.Add("Datum", "Datum", {TIndexOption::ixUnique});
    TQDXAdvFieldDefs advFields;
    TQDXAdvIndexDefs advIndexes;
    AdvFieldDefsFromFieldDefs(fields, advFields);
    AdvIndexDefsFromIndexDefs(indexes, advIndexes);
    CreateDatabaseTable(db, {kTable}, advFields, advIndexes);
    db.Close();
  }
  Store(database, {Expense(Day(2023, 12, 1), "Onderhoud", "", {}, {}, 99.0)});
  const std::string sheet = Write("kosten.csv",
                                  "Datum,bedrag\n"
                                  "2024-01-02,1\n"
                                  "2024-01-03,2\n"
                                  "2024-01-02,3\n");
  const Outcome run = Qdx({"import", database, kTable, sheet});
  EXPECT_EQ(run.Status, 1);
  EXPECT_THAT(run.Err, HasSubstr("Native error: 30320"));  // the unique index refused line 4
  EXPECT_EQ(Stored(database),
            std::vector<ExpenseRecord>{Expense(Day(2023, 12, 1), "Onderhoud", "", {}, {}, 99.0)});
  EXPECT_EQ(Qdx({"check", database}).Status, 0);
}

TEST_F(QdxExpenseFilesTest, DecimalCommasInACommaSeparatedFile) {
  // Separated by commas, with decimal commas inside quotes: --decimal says which is which.
  const std::string sheet = Write("kosten.csv",
                                  "Date,Total Cost,Litres\n"
                                  "2024-01-02,\"1.078,15\",\"41,37\"\n");
  const std::vector<std::string> import = {"import", path, kTable, sheet, "--map",
                                           "Datum=Date,bedrag=Total Cost,Liters=Litres"};
  EXPECT_EQ(Qdx(import).Status, 1);  // read with a decimal point, "41,37" is no number
  std::vector<std::string> withComma = import;
  withComma.insert(withComma.end(), {"--decimal", ","});
  EXPECT_EQ(Qdx(withComma).Status, 0);
  EXPECT_EQ(Stored(path),
            std::vector<ExpenseRecord>{Expense(Day(2024, 1, 2), "", "", {}, 41.37, 1078.15)});
}

// Export, then import into an empty table of another database: the same records.
TEST_F(QdxExpenseFilesTest, EveryLayoutCarriesTheRecordsThereAndBack) {
  std::vector<ExpenseRecord> records = TravelledRecords();
  Store(path, records);
  struct Case {
    std::string format;          // of the export
    std::vector<std::string> files;  // written by it, imported in turn
  };
  const std::vector<Case> cases = {
      {"", {"generic.csv"}},
      {"fuelio", {"fuelio.csv"}},
      {"lubelogger", {"lube-gas.csv", "lube-service.csv", "lube-tax.csv"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    std::vector<std::string> exportArgs = {"export", path, kTable, "-o", File(c.files.front())};
    if (!c.format.empty()) exportArgs.insert(exportArgs.end(), {"--format", c.format});
    if (c.format == "lubelogger") exportArgs[4] = File("lube.csv");
    const Outcome exported = Qdx(exportArgs);
    ASSERT_EQ(exported.Status, 0) << exported.Err;
    const std::string target = NewDatabase("target-" + c.format + ".qdx");
    for (const std::string& file : c.files) {
      std::vector<std::string> importArgs = {"import", target, kTable, File(file)};
      if (!c.format.empty()) importArgs.insert(importArgs.end(), {"--format", c.format});
      const Outcome imported = Qdx(importArgs);
      ASSERT_EQ(imported.Status, 0) << file << "\n" << imported.Err;
    }
    EXPECT_EQ(Sorted(Stored(target)), Sorted(records));
  }

  // The generic CSV carries the consumption the statistics wrote as well.
  const std::string withConsumption = NewDatabase("verbruik.qdx");
  records[0].verbruik = 14.285714285714286;
  Store(withConsumption, records);
  ASSERT_EQ(Qdx({"export", withConsumption, kTable, "-o", File("verbruik.csv")}).Status, 0);
  const std::string target = NewDatabase("verbruik-target.qdx");
  ASSERT_EQ(Qdx({"import", target, kTable, File("verbruik.csv")}).Status, 0);
  EXPECT_EQ(Sorted(Stored(target)), Sorted(records));
}

TEST_F(QdxExpenseFilesTest, TheLayoutsOfOtherProgramsAsTheyWriteThem) {
  Store(path, {Expense(Day(2024, 1, 2), "Brandstof", "Tango", 120450, 40.0, 78.0),
               Expense(Day(2024, 1, 31), "Verzekering", "ANWB", {}, {}, 62.4)});
  const Outcome fuelio = Qdx({"export", path, kTable, "--format", "Fuelio", "--index", "Datum"});
  ASSERT_EQ(fuelio.Status, 0) << fuelio.Err;
  EXPECT_THAT(fuelio.Out, HasSubstr("\"## Log\"\r\n\"Data\",\"Odo (km)\",\"Fuel (litres)\","));
  EXPECT_THAT(fuelio.Out, HasSubstr("\"2024-01-02\",\"120450\",\"40\",\"1\",\"78\","));
  EXPECT_THAT(fuelio.Out, HasSubstr("\"ANWB\",\"2024-01-31\",\"0\",\"2\",\"\",\"62.4\","));

  const Outcome gas = Qdx({"export", path, kTable, "--format", "lubelogger-gas"});
  EXPECT_EQ(gas.Out,
            "Date,Odometer,FuelConsumed,Cost,FuelEconomy,IsFillToFull,MissedFuelUp,Notes\r\n"
            "2024-01-02,120450,40,78,\"\",True,False,Tango\r\n");

  // Each sample file of the layouts imports through the command.
  struct Sample {
    const char* file;
    const char* format;
    size_t records;
  };
  for (const Sample& s : {Sample{"fuelio_backup.csv", "fuelio", 7},
                          Sample{"lubelogger_service.csv", "lubelogger", 2},
                          Sample{"lubelogger_gas.csv", "lubelogger-gas", 2}}) {
    SCOPED_TRACE(s.file);
    const std::string target = NewDatabase(std::string(s.file) + ".qdx");
    const std::string file = Write(s.file, interchange::testing::SampleFile(s.file));
    std::vector<std::string> args = {"import", target, kTable, file, "--format", s.format};
    if (std::string(s.format) != "fuelio") args.insert(args.end(), {"--date-format", "M/d/yyyy"});
    const Outcome run = Qdx(args);
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(Stored(target).size(), s.records);
  }
}

TEST_F(QdxExpenseFilesTest, FaultsOfTheCommandsAndTheirExitStatus) {
  const std::string sheet = Write("kosten.csv", "Datum,bedrag\n2024-01-02,1\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"import", path, kTable}, 2, "import needs FILE, TABLE and CSV"},
      {{"import", path, kTable, sheet, "--format", "excel"}, 2, "unknown format 'excel'"},
      {{"export", path, kTable, "--format", "excel"}, 2, "unknown format 'excel'"},
      {{"export", path, kTable, "--format", "lubelogger"}, 1, "name them with -o"},
      {{"import", path, kTable, File("none.csv")}, 1, "Cannot read the file"},
      {{"import", path, "Kosten", sheet}, 1, "Kosten"},
      {{"import", path, "Autogegevens", sheet}, 1, "not found"},
      {{"import", File("none.qdx"), kTable, sheet}, 1, "does not exist"},
  };
  for (const Case& c : cases) {
    const Outcome run = Qdx(c.args);
    EXPECT_EQ(run.Status, c.status) << c.args[1];
    EXPECT_THAT(run.Err, HasSubstr(c.message));
  }
  EXPECT_TRUE(Stored(path).empty());
  EXPECT_FALSE(std::filesystem::exists(File("none.qdx")));
}

}  // namespace
}  // namespace qdx
