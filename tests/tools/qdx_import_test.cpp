#include "tools/qdx/qdx_import.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/wagenlog/interchange_test_support.h"

namespace qdx::tools {
namespace {

using interchange::testing::MemoryExpenseStore;

constexpr std::string_view kSheet =
    "Datum;Omschrijving;Bedrijf;KMStand;Liters;bedrag\n"
    "2024-01-02;Brandstof;Tango;120450;41,37;78,15\n"
    "2024-01-15;Onderhoud;Garage;121002;;249,50\n";

struct ImportRun {
  int status = 0;
  std::string out, err;
};

ImportRun Import(std::vector<std::string> args, std::string_view text, MemoryExpenseStore& store) {
  std::ostringstream out, err;
  const ImportCommand command = ParseImportCommand(args);
  ImportRun run;
  run.status = RunImport(command, text, store, out, err);
  run.out = out.str();
  run.err = err.str();
  return run;
}

TEST(QdxImportTest, OptionsOfTheCommandLine) {
  const ImportCommand c = ParseImportCommand(
      {"w.qdx", "Brandstofkosten", "in.csv", "--map", "bedrag=Total", "--date-format",
       "M/d/yyyy", "--decimal", ",", "--dry-run", "--skip-bad", "--allow-duplicates",
       "--format", "LubeLogger-Gas", "--password", "geheim"});
  EXPECT_EQ(c.DatabaseFile, "w.qdx");
  EXPECT_EQ(c.TableName, "Brandstofkosten");
  EXPECT_EQ(c.CsvFile, "in.csv");
  EXPECT_EQ(c.Password, "geheim");
  EXPECT_EQ(c.Options.Read.Map, "bedrag=Total");
  EXPECT_EQ(c.Options.Read.DateFormat->Text(), "M/d/yyyy");
  EXPECT_EQ(c.Options.Read.DecimalSeparator, ',');
  EXPECT_TRUE(c.Options.DryRun && c.Options.SkipBad && c.Options.AllowDuplicates);
  EXPECT_EQ(c.Options.Layout, interchange::ImportLayout::LubeLogger);
  EXPECT_EQ(c.Options.Kind, interchange::LubeLoggerKind::Gas);

  // A LubeLogger file named for taxes is read as tax records.
  EXPECT_EQ(ParseImportCommand({"w.qdx", "T", "exports/TaxRecords.csv", "--format", "lubelogger"})
                .Options.Kind,
            interchange::LubeLoggerKind::Tax);
}

TEST(QdxImportTest, BadUsage) {
  const std::vector<std::vector<std::string>> cases = {
      {"w.qdx", "T"},
      {"w.qdx", "T", "a.csv", "b.csv"},
      {"w.qdx", "T", "a.csv", "--decimal", ";"},
      {"w.qdx", "T", "a.csv", "--format", "excel"},
      {"w.qdx", "T", "a.csv", "--date-format", "dd-MMM-yyyy"},
      {"w.qdx", "T", "a.csv", "--map"},
      {"w.qdx", "T", "a.csv", "--force"},
  };
  for (const auto& args : cases) EXPECT_THROW(ParseImportCommand(args), EQdxImportUsage);
}

TEST(QdxImportTest, DryRunListsTheRecordsAndInsertsNothing) {
  MemoryExpenseStore store;
  const ImportRun run = Import({"w.qdx", "Brandstofkosten", "in.csv", "--dry-run"}, kSheet, store);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "line\tDatum\tOmschrijving\tBedrijf\tKMStand\tLiters\tbedrag\n"
            "2\t2024-01-02\tBrandstof\tTango\t120450\t41.37\t78.15\n"
            "3\t2024-01-15\tOnderhoud\tGarage\t121002\t\t249.5\n"
            "dry run: 2 record(s) would be imported into Brandstofkosten\n"
            "0 duplicate(s) skipped, 0 bad line(s) skipped\n");
  EXPECT_EQ(store.insertCalls, 0);
}

TEST(QdxImportTest, ReportOfBadLinesAndDuplicates) {
  MemoryExpenseStore store;
  const std::string text = std::string(kSheet) + "2024-13-01;Brandstof;;;;5\n";
  const ImportRun refused = Import({"w.qdx", "Brandstofkosten", "in.csv"}, text, store);
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err,
            "in.csv: line 4, column Datum, value \"2024-13-01\": not a date in the form "
            "yyyy-MM-dd\n"
            "qdx: 1 line(s) could not be read; nothing was imported (--skip-bad imports the "
            "others)\n");
  EXPECT_TRUE(store.records.empty());

  EXPECT_EQ(Import({"w.qdx", "Brandstofkosten", "in.csv"}, kSheet, store).status, 0);
  const ImportRun again = Import({"w.qdx", "Brandstofkosten", "in.csv", "--skip-bad"}, text, store);
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.err.find("in.csv: line 2: the table holds this expense already; skipped\n"),
            std::string::npos);
  EXPECT_EQ(again.out,
            "0 record(s) imported into Brandstofkosten\n"
            "2 duplicate(s) skipped, 1 bad line(s) skipped\n");
  EXPECT_EQ(store.records.size(), 2u);
}

}  // namespace
}  // namespace qdx::tools
