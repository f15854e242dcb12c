#include "wagenlog/interchange/lubelogger_layout.h"

#include <gtest/gtest.h>

#include "wagenlog/interchange/expense_import.h"
#include "wagenlog/interchange/interchange_error.h"
#include "tests/wagenlog/interchange_test_support.h"

namespace qdx::interchange {
namespace {

using testing::Day;
using testing::Expense;
using testing::RecordsOf;
using testing::SampleFile;

ImportOptions LubeLogger() {
  ImportOptions options;
  options.Layout = ImportLayout::LubeLogger;
  options.Read = testing::DutchOptions();
  return options;
}

TEST(LubeLoggerLayoutTest, GasRecordsWithAmericanDates) {
  ImportOptions options = LubeLogger();
  // Month-first dates are no form the automatic choice reads on a Dutch desktop.
  const LayoutResult guessed = ReadExpenseFile(SampleFile("lubelogger_gas.csv"), options);
  ASSERT_EQ(guessed.Problems.size(), 1u);
  EXPECT_EQ(DescribeProblem(guessed.Problems[0]),
            "line 3, column Date, value \"5/30/2020\": not a date in the form dd/MM/yyyy");

  options.Read.DateFormat = DatePattern::Parse("M/d/yyyy");
  const LayoutResult read = ReadExpenseFile(SampleFile("lubelogger_gas.csv"), options);
  ASSERT_TRUE(read.Problems.empty()) << DescribeProblem(read.Problems.front());
  const std::vector<ExpenseRecord> expected = {
      Expense(Day(2020, 5, 8), "Brandstof", "Costco", 204836, 8.331, 16.24),
      Expense(Day(2020, 5, 30), "Brandstof", "", 205056, 11.913, 25.72),
  };
  EXPECT_EQ(RecordsOf(read.Records), expected);
}

TEST(LubeLoggerLayoutTest, ServiceAndTaxRecords) {
  const LayoutResult service = ReadExpenseFile(SampleFile("lubelogger_service.csv"), LubeLogger());
  ASSERT_TRUE(service.Problems.empty()) << DescribeProblem(service.Problems.front());
  const std::vector<ExpenseRecord> services = {
      Expense(Day(2020, 1, 1), "Onderhoud", "Oil change", 45000, {}, 20.60),
      Expense(Day(2020, 2, 1), "Onderhoud", "Brake pads front", 47000, {}, 140.45),
  };
  EXPECT_EQ(RecordsOf(service.Records), services);

  const LayoutResult tax = ReadExpenseFile(SampleFile("lubelogger_tax.csv"), LubeLogger());
  ASSERT_TRUE(tax.Problems.empty()) << DescribeProblem(tax.Problems.front());
  const std::vector<ExpenseRecord> taxes = {
      Expense(Day(2020, 1, 1), "Wegenbelasting", "Road tax 2020", {}, {}, 120.0),
      Expense(Day(2020, 3, 1), "Verzekering", "Car insurance", {}, {}, 480.0),
  };
  EXPECT_EQ(RecordsOf(tax.Records), taxes);
}

TEST(LubeLoggerLayoutTest, KindFromTheHeader) {
  using Header = std::vector<std::string>;
  EXPECT_EQ(DetectLubeLoggerKind(Header{"Date", "Odometer", "FuelConsumed", "Cost"}),
            LubeLoggerKind::Gas);
  EXPECT_EQ(DetectLubeLoggerKind(Header{"date", "odometer", "description", "cost"}),
            LubeLoggerKind::Service);
  EXPECT_EQ(DetectLubeLoggerKind(Header{"Date", "Description", "Notes", "Cost"}),
            LubeLoggerKind::Tax);
  EXPECT_EQ(DetectLubeLoggerKind(Header{"Date", "Odometer", "Notes"}), std::nullopt);
  EXPECT_THROW(ReadExpenseFile("Date,Odometer,Notes\n2020-01-01,5,x\n", LubeLogger()),
               EInterchangeError);
}

TEST(LubeLoggerLayoutTest, WrittenFilesReadBackTheSameRecords) {
  const std::vector<ExpenseRecord> records = {
      Expense(Day(2024, 1, 2), "Brandstof", "Tango Zwolle", 120450, 41.37, 78.15),
      Expense(Day(2024, 1, 15), "Onderhoud", "Garage \"De Vries\", Zwolle", 121002, {}, 1249.5),
      Expense(Day(2024, 1, 31), "Verzekering", "Caf\xE9", {}, {}, 62.4),
      Expense(Day(2024, 2, 1), "Wegenbelasting", "", 121500, {}, 96.0),
      Expense(Day(2024, 12, 31), "Afschrijving", "", {}, {}, 1500.0),
      // Without a category it stays without one, rather than coming back as road tax.
      Expense(Day(2024, 12, 31), "", "Parkeren", {}, {}, 4.2),
  };
  const LubeLoggerFiles files = WriteLubeLogger(records);
  std::vector<ExpenseRecord> back;
  for (const auto& [rows, kind] : {std::pair{&files.Gas, LubeLoggerKind::Gas},
                                   std::pair{&files.Service, LubeLoggerKind::Service},
                                   std::pair{&files.Tax, LubeLoggerKind::Tax}}) {
    const LayoutResult read = ReadLubeLogger(testing::DocumentOf(*rows), ReadOptions(), kind);
    ASSERT_TRUE(read.Problems.empty()) << DescribeProblem(read.Problems.front());
    for (const ReadRecord& r : read.Records) back.push_back(r.Record);
  }
  EXPECT_EQ(back, records);
}

}  // namespace
}  // namespace qdx::interchange
