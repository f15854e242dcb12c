// The chart commands: the points each puts into its window, month runs, the pie, the empty
// table and a failure half-way.
#include "app/statistics/chart_commands.h"

#include <gtest/gtest.h>

#include "app/forms/chart_windows.h"
#include "wagenlog/statistics/float_ops.h"
#include "expense_tables.h"
#include "qt_printers.h"
#include "tests/foundation/locale_pin.h"

namespace qdx {
namespace {

using test::TExpenseTables;

std::vector<double> Values(const TChartSeries& series) {
  std::vector<double> values;
  for (const TChartPoint& p : series.Points()) values.push_back(p.Value);
  return values;
}

QStringList Labels(const TChartSeries& series) {
  QStringList labels;
  for (const TChartPoint& p : series.Points()) labels << p.Label;
  return labels;
}

class ChartCommandsTest : public ::testing::Test {
 protected:
  ChartCommandsTest() : locale_("en_US") {}
  testing::ScopedUserLocale locale_;
  TExpenseTables tables_;
  TForm2 form2_;
  TForm3 form3_;
  TForm4 form4_;
};

TEST_F(ChartCommandsTest, PerRecordCommandsTakeFuelRecordsFromTheStartReading) {
  tables_.Add({{2024, 1, 10, "Brandstof", 10500, 40, 60.00},
               {2024, 1, 20, "Onderhoud", 99999, 0, 100.00},
               {2024, 2, 5, "Brandstof", 11000, 35, 56.00}});
  tables_.Open();

  ChartKilometres(tables_.tb1, 10000, form2_);
  EXPECT_EQ(Values(form2_.Series1()), (std::vector<double>{500, 500}));
  EXPECT_EQ(Labels(form2_.Series1()), (QStringList{"1/10/2024", "2/5/2024"}));
  EXPECT_EQ(form2_.Chart().Title(), "Gereden kilometers");
  EXPECT_EQ(form2_.Series1().Title(), "Kilometers");
  EXPECT_FALSE(form2_.Series2().Visible());
  EXPECT_TRUE(form2_.isVisible());
  EXPECT_TRUE(tables_.tb1.Eof());

  ChartConsumption(tables_.tb1, 10000, form2_);
  EXPECT_EQ(form2_.Chart().Title(), "Verbruik");
  EXPECT_EQ(Values(form2_.Series1()), (std::vector<double>{12.5, 500.0 / 35}));
  EXPECT_EQ(Values(form2_.Series2()), (std::vector<double>{8, static_cast<double>(100.0L / (500.0 / 35))}));
  EXPECT_TRUE(form2_.Series2().Visible());
  EXPECT_EQ(form2_.Series2().Title(), "Ltr/100KM");

  ChartLitres(tables_.tb1, 10000, form2_);
  EXPECT_EQ(Values(form2_.Series1()), (std::vector<double>{40, 35}));
  EXPECT_EQ(form2_.Chart().Title(), "Getankte liters");
  // The line keeps the points Verbruik put there, undrawn.
  EXPECT_EQ(form2_.Series2().Count(), 2u);
  EXPECT_FALSE(form2_.Series2().Visible());

  ChartFuelPrice(tables_.tb1, 10000, form2_);
  EXPECT_EQ(form2_.Chart().Title(), "Brandstof prijs in Euro centen");
  EXPECT_EQ(form2_.Series1().Title(), "Euro centen");
  EXPECT_EQ(Values(form2_.Series1()), (std::vector<double>{150, 160}));
}

TEST_F(ChartCommandsTest, ConsumptionLitresKilometresDividesKilometresInIntegers) {
  tables_.Add({{2024, 1, 10, "Brandstof", 10497, 40, 60.00},
               {2024, 2, 5, "Brandstof", 10482, 35, 56.00}});
  tables_.Open();
  ChartConsumptionLitresKilometres(tables_.tb1, 10000, form3_);
  EXPECT_EQ(Values(form3_.Series3()), (std::vector<double>{49, -1}));
  EXPECT_EQ(Values(form3_.Series2()), (std::vector<double>{40, 35}));
  EXPECT_EQ(Values(form3_.Series1()), (std::vector<double>{497.0 / 40, -15.0 / 35}));
  EXPECT_EQ(form3_.Chart().Title(), "Verbruik/liters/kilometers");
}

TEST_F(ChartCommandsTest, CostPerMonthMakesOneBarPerRunOfAMonthNumber) {
  struct Case {
    const char* Name;
    std::vector<test::TExpense> Records;
    std::vector<double> Sums;
    QStringList Labels;
  };
  const std::vector<Case> cases = {
      {"three months",
       {{2024, 1, 15, "Onderhoud", 0, 0, 10}, {2024, 1, 20, "Brandstof", 100, 5, 20},
        {2024, 2, 3, "Verzekering", 0, 0, 40}, {2024, 3, 1, "xyz", 0, 0, 80}},
       {30, 40, 80},
       {"1", "2", "3"}},
      {"January of two years", {{2023, 1, 5, "Onderhoud", 0, 0, 1}, {2024, 1, 5, "Onderhoud", 0, 0, 2}}, {3}, {"1"}},
      {"split by another month",
       {{2023, 1, 5, "Onderhoud", 0, 0, 1}, {2023, 6, 5, "Onderhoud", 0, 0, 4}, {2024, 1, 5, "Onderhoud", 0, 0, 2}},
       {1, 4, 2},
       {"1", "6", "1"}},
      {"empty", {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TExpenseTables tables;
    for (const auto& r : c.Records) tables.Add(r);
    tables.Open();
    ChartCostPerMonth(tables.tb1, form2_);
    EXPECT_EQ(Values(form2_.Series1()), c.Sums);
    EXPECT_EQ(Labels(form2_.Series1()), c.Labels);
    EXPECT_EQ(form2_.Chart().Title(), "Kosten per maand");
    EXPECT_EQ(form2_.Series2().Count(), 0u);
  }
}

TEST_F(ChartCommandsTest, PieHasFiveLowerCaseSlicesAlsoForAnEmptyTable) {
  tables_.Add({{2024, 1, 15, "Onderhoud", 0, 0, 10},
               {2024, 1, 20, "Brandstof", 100, 5, 20},
               {2024, 2, 3, "Afschrijving", 0, 0, 40},
               {2024, 2, 4, "brandstof", 0, 0, 1000}});
  tables_.Open();
  ChartCostShares(tables_.tb1, form4_);
  EXPECT_EQ(Values(form4_.Series1()), (std::vector<double>{20, 10, 0, 0, 40}));
  EXPECT_EQ(Labels(form4_.Series1()),
            (QStringList{"brandstof", "onderhoud", "verzekering", "wegenbelasting", "afschrijving"}));
  EXPECT_EQ(form4_.Chart().Title(), "Kosten totaal");

  TExpenseTables empty;
  empty.Open();
  ChartCostShares(empty.tb1, form4_);
  EXPECT_EQ(Values(form4_.Series1()), (std::vector<double>(5, 0)));
  ChartLitres(empty.tb1, 0, form2_);
  EXPECT_EQ(form2_.Series1().Count(), 0u);
  EXPECT_TRUE(form2_.isVisible());
}

TEST_F(ChartCommandsTest, AFailureKeepsEarlierPointsAndDoesNotShowTheWindow) {
  tables_.Add({{2024, 1, 10, "Brandstof", 10500, 40, 60.00},
               {2024, 2, 5, "Brandstof", 10500, 35, 56.00},
               {2024, 3, 5, "Brandstof", 11000, 0, 56.00}});
  tables_.Open();
  // Verbruik: 0 km since the previous record gives 100 / 0.
  EXPECT_THROW(ChartConsumption(tables_.tb1, 10000, form2_), EZeroDivide);
  EXPECT_EQ(form2_.Series1().Count(), 2u);
  EXPECT_EQ(form2_.Series2().Count(), 1u);
  EXPECT_FALSE(form2_.isVisible());
  EXPECT_FALSE(tables_.tb1.ControlsDisabled());
  // Brandstof Prijs fails on the record without litres.
  EXPECT_THROW(ChartFuelPrice(tables_.tb1, 10000, form2_), EZeroDivide);
  EXPECT_EQ(form2_.Series1().Count(), 2u);
}

}  // namespace
}  // namespace qdx
