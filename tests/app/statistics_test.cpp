// The statistics walk: figures, label texts, the consumption written back into fuel records,
// and the failures that end a run.
#include "app/statistics/statistics_labels.h"

#include <gtest/gtest.h>

#include "wagenlog/statistics/float_ops.h"
#include "expense_tables.h"
#include "qt_printers.h"
#include "tests/foundation/locale_pin.h"

namespace qdx {
namespace {

using test::TExpenseTables;

class StatisticsTest : public ::testing::Test {
 protected:
  StatisticsTest() : locale_("en_US") {}

  TStatistics Run() { return ComputeStatistics(tables_.tb1, tables_.tb6, startKmStand_); }

  testing::ScopedUserLocale locale_;
  TExpenseTables tables_;
  int32_t startKmStand_ = -1;
};

TEST_F(StatisticsTest, WorkedExample) {
  tables_.SetVehicle(10000);
  tables_.Add({{2024, 1, 10, "Brandstof", 10500, 40, 60.00},
               {2024, 1, 20, "Onderhoud", 0, 0, 100.00},
               {2024, 2, 5, "Brandstof", 11000, 35, 56.00}});
  tables_.Open();
  const TStatisticsLabels labels = StatisticsLabels(Run());
  EXPECT_EQ(startKmStand_, 10000);
  EXPECT_EQ(labels.Label6, "216");
  EXPECT_EQ(labels.Label27, "75");
  EXPECT_EQ(labels.Label28, "1000");
  EXPECT_EQ(labels.Label1, "$0.216");
  EXPECT_EQ(labels.Label3, "$0.116");
  EXPECT_EQ(labels.Label8, "$0.100");
  EXPECT_EQ(labels.Label29, "$0.000");
  EXPECT_EQ(labels.Label30, "$0.000");
  EXPECT_EQ(labels.Label31, "$0.000");
  EXPECT_EQ(labels.Label12, "13.333");
  EXPECT_EQ(labels.Label9, "7.500");
  // Each fuel record's own consumption is stored; the walk ends on the last record, browsing,
  // with the controls refreshing again.
  EXPECT_EQ(tables_.tb1.PostCount, 2);
  EXPECT_TRUE(tables_.tb1.Eof());
  EXPECT_EQ(tables_.tb1.State(), TDataSetState::Browse);
  EXPECT_FALSE(tables_.tb1.ControlsDisabled());
  EXPECT_EQ(tables_.Consumptions(), (std::vector<double>{12.5, 0, 14.29}));
}

TEST_F(StatisticsTest, ConsumptionRoundsTiesToEvenInExtendedPrecision) {
  struct Case {
    int32_t Distance;
    double Litres;
    double Consumption;
  };
  const Case cases[] = {{500, 40, 12.5},  {500, 35, 14.29}, {405, 8, 50.62},
                        {415, 8, 51.88},  {-15, 1, -15},    {0, 40, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Distance);
    EXPECT_EQ(FuelRecordConsumption(c.Distance, c.Litres), c.Consumption);
  }
  EXPECT_THROW(FuelRecordConsumption(500, 0), EZeroDivide);
  EXPECT_THROW(FuelRecordConsumption(0, 0), EInvalidOp);
  // Too large to round to a 64-bit integer.
  EXPECT_THROW(FuelRecordConsumption(2000000000, 1e-300), EInvalidOp);
}

TEST_F(StatisticsTest, EmptyTableShowsZerosInEveryFormat) {
  tables_.Open();
  const TStatisticsLabels labels = StatisticsLabels(Run());
  EXPECT_EQ(startKmStand_, 0);  // no vehicle record
  for (const QString& general : {labels.Label6, labels.Label27, labels.Label28}) {
    EXPECT_EQ(general, "0");
  }
  for (const QString& currency : {labels.Label1, labels.Label3, labels.Label8, labels.Label29,
                                  labels.Label30, labels.Label31}) {
    EXPECT_EQ(currency, "$0.000");
  }
  EXPECT_EQ(labels.Label12, "0.000");
  EXPECT_EQ(labels.Label9, "0.000");
  EXPECT_EQ(tables_.tb1.PostCount, 0);
}

TEST_F(StatisticsTest, OnlyExactFuelRecordsCountAndTheLastInDateOrderSetsTheDistance) {
  tables_.SetVehicle(std::nullopt);  // a null start reading reads 0
  tables_.Add({{2024, 1, 1, "Brandstof", 900, 50, 70},
               {2024, 1, 2, "brandstof", 5000, 10, 30},
               {2024, 1, 3, "Verzekering", 7000, 0, 40},
               {2024, 1, 4, "Brandstof", 800, 20, 10},
               {2024, 1, 5, "", 0, 0, 5}});
  tables_.Open();
  const TStatistics s = Run();
  EXPECT_EQ(s.TotalCost, 155);
  EXPECT_EQ(s.FuelCost, 80);
  EXPECT_EQ(s.InsuranceCost, 40);
  EXPECT_EQ(s.TotalLitres, 70);
  EXPECT_EQ(s.KilometresDriven, 800);  // the last fuel record, not the highest reading
  EXPECT_EQ(s.InsurancePerKm, 40.0 / 800);
  // 900 from 0; then -100 from 900 (the lower-case record is no fuel record).
  EXPECT_EQ(tables_.Consumptions(), (std::vector<double>{18, 0, 0, -5, 0}));
}

TEST_F(StatisticsTest, WithoutFuelRecordsOnlyTheTotalIsShown) {
  tables_.SetVehicle(10000);
  tables_.Add({{2024, 1, 1, "Onderhoud", 0, 0, 120}, {2024, 3, 1, "Wegenbelasting", 0, 0, 80}});
  tables_.Open();
  const TStatisticsLabels labels = StatisticsLabels(Run());
  EXPECT_EQ(labels.Label6, "200");
  EXPECT_EQ(labels.Label28, "0");
  EXPECT_EQ(labels.Label1, "$0.000");
  EXPECT_EQ(labels.Label9, "0.000");
}

TEST_F(StatisticsTest, RunningTwiceRewritesTheSameValues) {
  tables_.SetVehicle(10000);
  tables_.Add({{2024, 1, 10, "Brandstof", 10500, 40, 60.00}});
  tables_.Open();
  const TStatisticsLabels first = StatisticsLabels(Run());
  const TStatisticsLabels second = StatisticsLabels(Run());
  EXPECT_EQ(first.Label12, second.Label12);
  EXPECT_EQ(tables_.tb1.PostCount, 2);
}

TEST_F(StatisticsTest, AFuelRecordWithoutLitresEndsTheRunAfterEarlierRecordsWereStored) {
  tables_.SetVehicle(10000);
  tables_.Add({{2024, 1, 10, "Brandstof", 10500, 40, 60.00},
               {2024, 2, 10, "Brandstof", 11000, 0, 50.00},
               {2024, 3, 10, "Brandstof", 11500, 40, 60.00}});
  tables_.Open();
  EXPECT_THROW(Run(), EZeroDivide);
  EXPECT_FALSE(tables_.tb1.ControlsDisabled());
  EXPECT_EQ(tables_.Consumptions(), (std::vector<double>{12.5, 0, 0}));
}

TEST_F(StatisticsTest, NoLitresInTotalWithADistanceFailsOnTheSecondDivision) {
  tables_.SetVehicle(10000);
  // A correction record takes the litres back out.
  tables_.Add({{2024, 1, 10, "Brandstof", 10500, 10, 20}, {2024, 1, 11, "Brandstof", 11000, -10, 0}});
  tables_.Open();
  EXPECT_THROW(Run(), EZeroDivide);
  EXPECT_EQ(tables_.Consumptions(), (std::vector<double>{50, -50}));
}

TEST_F(StatisticsTest, FieldNamesAreFoundWhateverTheirCase) {
  tables_.SetVehicle(10000);
  tables_.Open();
  for (const char* name : {"kmstand", "liters", "datum", "BEDRAG", "omschrijving"}) {
    EXPECT_NE(tables_.tb1.FindField(name), nullptr) << name;
  }
  EXPECT_EQ(tables_.tb6.FieldByName("start_km-stand").FieldName(), "Start_km-stand");
}

}  // namespace
}  // namespace qdx
