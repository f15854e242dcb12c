#include "wagenlog/interchange/expense_import.h"

#include <gtest/gtest.h>

#include "wagenlog/interchange/interchange_error.h"
#include "wagenlog/interchange/interchange_messages.h"
#include "tests/wagenlog/interchange_test_support.h"

namespace qdx::interchange {
namespace {

using testing::Day;
using testing::Expense;
using testing::MemoryExpenseStore;
using testing::SampleFile;

ImportOptions Generic() {
  ImportOptions options;
  options.Read = testing::DutchOptions();
  return options;
}

TEST(ExpenseImportTest, DutchSpreadsheetWithDecimalCommas) {
  MemoryExpenseStore store;
  const ImportOutcome outcome = ImportExpenses(SampleFile("spreadsheet_nl.csv"), store, Generic());
  EXPECT_TRUE(outcome.Problems.empty()) << DescribeProblem(outcome.Problems.front());
  EXPECT_TRUE(outcome.Inserted);
  EXPECT_EQ(store.insertCalls, 1);
  const std::vector<ExpenseRecord> expected = {
      Expense(Day(2024, 1, 2), "Brandstof", "Tango Zwolle", 120450, 41.37, 78.15),
      // The category is stored as the category text, whatever the file's case.
      Expense(Day(2024, 1, 15), "Onderhoud", "Garage \"De Vries\"; Zwolle", 121002, {}, 1249.5),
      Expense(Day(2024, 1, 31), "Verzekering", "", {}, {}, 62.4),
      Expense(Day(2024, 2, 1), "Wegenbelasting", "Belasting-\r\ndienst", {}, {}, 96.0),
  };
  EXPECT_EQ(store.records, expected);
  ASSERT_EQ(outcome.Accepted.size(), 4u);
  EXPECT_EQ(outcome.Accepted[3].Line, 5);
}

TEST(ExpenseImportTest, ColumnsNamedByMap) {
  ImportOptions options = Generic();
  options.Read.Map =
      "Omschrijving=Category, Bedrijf=Station,KMStand=Odometer,Liters=Litres,"
      "bedrag=Total Cost,Date=datum";
  const LayoutResult read = ReadExpenseFile(SampleFile("spreadsheet_mapped.csv"), options);
  ASSERT_TRUE(read.Problems.empty()) << DescribeProblem(read.Problems.front());
  ASSERT_EQ(read.Records.size(), 2u);
  EXPECT_EQ(read.Records[1].Record,
            Expense(Day(2024, 3, 31), "Brandstof", "Shell A28", 123611, 39.25, 77.70));
}

TEST(ExpenseImportTest, MappingFaultsStopTheImport) {
  const struct {
    const char* map;
    const char* message;
  } cases[] = {
      {"Datum", "--map entry 'Datum' is not FIELD=COLUMN"},
      {"Prijs=Total Cost", "--map names no field of the expense table: 'Prijs=Total Cost'"},
      {"bedrag=Price", "--map names a column the file does not have: 'Price'"},
      {"bedrag=Total Cost,bedrag=Litres", "field bedrag is given two columns"},
      {"bedrag=Total Cost", "no column for the field Datum (name one with --map)"},
  };
  for (const auto& c : cases) {
    ImportOptions options = Generic();
    options.Read.Map = c.map;
    MemoryExpenseStore store;
    try {
      ImportExpenses(SampleFile("spreadsheet_mapped.csv"), store, options);
      ADD_FAILURE() << c.map;
    } catch (const EInterchangeError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    EXPECT_EQ(store.insertCalls, 0);
  }
}

TEST(ExpenseImportTest, EveryBadLineIsReportedAndNothingInserted) {
  MemoryExpenseStore store;
  const ImportOutcome outcome = ImportExpenses(SampleFile("bad_lines.csv"), store, Generic());
  const std::vector<std::string> expected = {
      "line 3, column Datum, value \"31-02-2024\": not a date in the form dd-MM-yyyy",
      "line 4, column Omschrijving, value \"Tanken\": " + std::string(kValueNotACategory),
      "line 5, column KMStand, value \"veel\": not a number",
      "line 6: 5 fields where the header has 6",
      "line 7, column Bedrijf, value \"Tango Zwolle aan de Hanzelijn en de IJssel\": longer "
      "than 30 characters",
      "line 8: quoted field not closed",
  };
  std::vector<std::string> described;
  for (const ImportProblem& p : outcome.Problems) described.push_back(DescribeProblem(p));
  EXPECT_EQ(described, expected);
  EXPECT_TRUE(outcome.Refused);
  EXPECT_EQ(outcome.BadLines, 6u);
  EXPECT_EQ(RefusalMessage(outcome),
            "6 line(s) could not be read; nothing was imported (--skip-bad imports the others)");
  EXPECT_EQ(store.insertCalls, 0);

  ImportOptions skip = Generic();
  skip.SkipBad = true;
  const ImportOutcome skipped = ImportExpenses(SampleFile("bad_lines.csv"), store, skip);
  EXPECT_FALSE(skipped.Refused);
  EXPECT_EQ(skipped.Problems.size(), 6u);
  ASSERT_EQ(store.records.size(), 1u);
  EXPECT_EQ(store.records[0].KMStand, 120450);
}

TEST(ExpenseImportTest, ValuesThatDoNotFitTheTable) {
  const struct {
    const char* line;
    const char* reason;
  } cases[] = {
      {"2-1-2024;Brandstof;;1;1;", "no value for bedrag"},
      {";Brandstof;;1;1;5", "no value for Datum"},
      {"2-1-2024;;\xE2\x82\xAC-Tank \xF0\x9F\x9A\x97;;;5", kValueNotStorable},
      {"2-1-2024;;;3000000000;;5", kValueOutOfRange},
      {"2-1-2024;;;;;12a", kValueNotANumber},
      {"2-1-2024;;;;;999999999999999999", kValueOutOfRange},
  };
  for (const auto& c : cases) {
    const std::string text = std::string("Datum;Omschrijving;Bedrijf;KMStand;Liters;bedrag\n") +
                             c.line + "\n";
    const LayoutResult read = ReadExpenseFile(text, Generic());
    ASSERT_EQ(read.Problems.size(), 1u) << c.line;
    EXPECT_EQ(read.Problems[0].Line, 2);
    EXPECT_EQ(read.Problems[0].Reason, c.reason) << c.line;
    EXPECT_TRUE(read.Records.empty());
  }
}

TEST(ExpenseImportTest, WindowsTextIsStoredAsTheTableKeepsIt) {
  const LayoutResult read = ReadExpenseFile(
      "Datum;Omschrijving;Bedrijf;bedrag\n2-1-2024;;Caf\xC3\xA9 \xE2\x82\xAC" "d;5\n", Generic());
  ASSERT_EQ(read.Records.size(), 1u);
  EXPECT_EQ(read.Records[0].Record.Bedrijf, "Caf\xE9 \x80" "d");
}

TEST(ExpenseImportTest, DryRunChangesNothing) {
  MemoryExpenseStore store;
  store.records.push_back(Expense(Day(2023, 12, 1), "Brandstof", "", 119000, 40, 70));
  const std::vector<ExpenseRecord> before = store.records;
  ImportOptions options = Generic();
  options.DryRun = true;
  const ImportOutcome outcome = ImportExpenses(SampleFile("spreadsheet_nl.csv"), store, options);
  EXPECT_EQ(outcome.Accepted.size(), 4u);
  EXPECT_FALSE(outcome.Inserted);
  EXPECT_EQ(store.insertCalls, 0);
  EXPECT_EQ(store.records, before);
}

TEST(ExpenseImportTest, StoredExpensesAreSkippedAsDuplicates) {
  MemoryExpenseStore store;
  // Same date, category, odometer and amount as line 2; the company and litres may differ.
  store.records.push_back(Expense(Day(2024, 1, 2), "Brandstof", "Tango", 120450, 40, 78.15));
  // Another amount: no duplicate.
  store.records.push_back(Expense(Day(2024, 1, 31), "Verzekering", "", {}, {}, 62.41));
  const ImportOutcome outcome = ImportExpenses(SampleFile("spreadsheet_nl.csv"), store, Generic());
  ASSERT_EQ(outcome.Duplicates.size(), 1u);
  EXPECT_EQ(outcome.Duplicates[0].Line, 2);
  EXPECT_EQ(outcome.Accepted.size(), 3u);
  EXPECT_EQ(store.records.size(), 5u);

  // Importing the same file again finds every line stored and inserts nothing.
  const ImportOutcome again = ImportExpenses(SampleFile("spreadsheet_nl.csv"), store, Generic());
  EXPECT_EQ(again.Duplicates.size(), 4u);
  EXPECT_FALSE(again.Inserted);
  EXPECT_EQ(store.insertCalls, 1);

  ImportOptions allow = Generic();
  allow.AllowDuplicates = true;
  ImportExpenses(SampleFile("spreadsheet_nl.csv"), store, allow);
  EXPECT_EQ(store.records.size(), 9u);
}

TEST(ExpenseImportTest, AFailedInsertLeavesTheTableAsItWas) {
  MemoryExpenseStore store;
  store.failInsert = true;
  EXPECT_THROW(ImportExpenses(SampleFile("spreadsheet_nl.csv"), store, Generic()),
               std::runtime_error);
  EXPECT_TRUE(store.records.empty());
}

// Every cut of every sample, in every layout, gives records, reported lines or a fault of the
// whole file: never a crash or a read past the text (the sanitizers watch).
TEST(ExpenseImportTest, CutFilesAreReportedNotMisread) {
  for (const char* name : {"spreadsheet_nl.csv", "bad_lines.csv", "fuelio_backup.csv",
                           "lubelogger_gas.csv", "lubelogger_tax.csv"}) {
    const std::string text = SampleFile(name);
    for (ImportLayout layout :
         {ImportLayout::Generic, ImportLayout::Fuelio, ImportLayout::LubeLogger}) {
      ImportOptions options = Generic();
      options.Layout = layout;
      for (size_t length = 0; length <= text.size(); length += 7) {
        try {
          const LayoutResult read = ReadExpenseFile(std::string_view(text).substr(0, length), options);
          for (const ReadRecord& r : read.Records) {
            EXPECT_TRUE(r.Record.Datum && r.Record.bedrag) << name << " " << length;
          }
        } catch (const EInterchangeError&) {
        }
      }
    }
  }
}

}  // namespace
}  // namespace qdx::interchange
