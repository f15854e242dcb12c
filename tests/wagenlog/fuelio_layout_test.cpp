#include "wagenlog/interchange/fuelio_layout.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "wagenlog/interchange/expense_import.h"
#include "wagenlog/interchange/interchange_error.h"
#include "tests/wagenlog/interchange_test_support.h"

namespace qdx::interchange {
namespace {

using testing::Day;
using testing::Expense;
using testing::RecordsOf;
using testing::SampleFile;

LayoutResult ReadSample(const char* name) {
  ImportOptions options;
  options.Layout = ImportLayout::Fuelio;
  options.Read = testing::DutchOptions();
  return ReadExpenseFile(SampleFile(name), options);
}

TEST(FuelioLayoutTest, FillUpsAndCostsOfABackup) {
  const LayoutResult read = ReadSample("fuelio_backup.csv");
  ASSERT_TRUE(read.Problems.empty()) << DescribeProblem(read.Problems.front());
  std::vector<std::pair<int32_t, ExpenseRecord>> got;
  for (const ReadRecord& r : read.Records) got.emplace_back(r.Line, r.Record);
  const std::vector<std::pair<int32_t, ExpenseRecord>> expected = {
      // The station is cut to the table's 30 characters.
      {6, Expense(Day(2024, 3, 10), "Brandstof", "Zwolle - Esso Station Hessenpo", 84210, 42.15,
                  80.04)},
      // No price: litres times the price per litre.
      {7, Expense(Day(2024, 3, 28), "Brandstof", "Kampen", 84905, 40.0, 78.0)},
      {17, Expense(Day(2024, 2, 8), "Onderhoud", "Grote beurt", 84000, {}, 349.5)},
      // A type of another kind keeps its title in Bedrijf; an odometer of 0 is none.
      {18, Expense(Day(2024, 2, 9), "", "Centrum garage P1", {}, {}, 4.2)},
      {19, Expense(Day(2024, 1, 1), "Verzekering", "ANWB autoverzekering", {}, {}, 62.4)},
      {20, Expense(Day(2024, 1, 5), "Wegenbelasting", "MRB Q1", {}, {}, 96.0)},
      {21, Expense(Day(2024, 12, 31), "Afschrijving", "Waardedaling", {}, {}, 1500.0)},
      // Line 22 is a template: no expense.
  };
  EXPECT_EQ(got, expected);
}

TEST(FuelioLayoutTest, MilesBecomeKilometres) {
  const LayoutResult read = ReadSample("fuelio_miles.csv");
  ASSERT_EQ(read.Records.size(), 1u);
  EXPECT_EQ(read.Records[0].Record.KMStand, 1609);
}

TEST(FuelioLayoutTest, CostTypesByName) {
  const struct {
    const char* type;
    std::optional<std::string_view> category;
  } cases[] = {
      {"Service", kOnderhoud},          {"MOT", kOnderhoud},
      {" apk ", kOnderhoud},            {"INSURANCE", kVerzekering},
      {"Registration", kWegenbelasting}, {"Motorrijtuigenbelasting", kWegenbelasting},
      {"Depreciation", kAfschrijving},  {"Parking", std::nullopt},
      {"Tolls", std::nullopt},          {"Overig", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(FuelioCostCategory(c.type), c.category) << c.type;
}

TEST(FuelioLayoutTest, NoLogOrCostsIsNoBackup) {
  ImportOptions options;
  options.Layout = ImportLayout::Fuelio;
  EXPECT_THROW(ReadExpenseFile("Datum,bedrag\n2024-01-01,5\n", options), EInterchangeError);
}

TEST(FuelioLayoutTest, WrittenBackupReadsBackTheSameRecords) {
  const std::vector<ExpenseRecord> records = {
      Expense(Day(2024, 1, 2), "Brandstof", "Tango Zwolle", 120450, 41.37, 78.15),
      Expense(Day(2024, 1, 9), "Brandstof", "", {}, {}, 20.0),
      Expense(Day(2024, 1, 15), "Onderhoud", "Garage \"De Vries\", Zwolle", 121002, {}, 1249.5),
      Expense(Day(2024, 1, 31), "Verzekering", "Caf\xE9", {}, {}, 62.4),
      Expense(Day(2024, 2, 1), "Wegenbelasting", "", {}, {}, 96.0),
      Expense(Day(2024, 12, 31), "Afschrijving", "", {}, {}, 1500.0),
      Expense(Day(2024, 6, 1), "", "Parkeren", {}, {}, 3.5),
      Expense(Day(2024, 6, 2), "Onderhoud", "Garantie terug", {}, {}, -80.25),
  };
  const LayoutResult read =
      ReadFuelioBackup(testing::DocumentOf(WriteFuelioBackup(records)), ReadOptions());
  ASSERT_TRUE(read.Problems.empty()) << DescribeProblem(read.Problems.front());
  std::vector<ExpenseRecord> back;
  for (const ReadRecord& r : read.Records) back.push_back(r.Record);
  // Fill-ups come first in a backup; otherwise the order is kept.
  std::vector<ExpenseRecord> expected = records;
  std::stable_partition(expected.begin(), expected.end(),
                        [](const ExpenseRecord& r) { return r.Omschrijving == kBrandstof; });
  EXPECT_EQ(back, expected);
}

}  // namespace
}  // namespace qdx::interchange
