// The arithmetic of the cost report, without drawing: the costs of each category summed per
// calendar year and per month over the last twelve months, read in one walk over the expense
// records, and the name of the vehicle as its record gives it.
//
// A record counts in the month and year of its `Datum`; a record without a date counts nowhere.
// A category column sums the records whose `Omschrijving` is exactly that category; the total
// sums every record, so a record of another description (an import may bring one) shows in the
// total only, as it does in the statistics' total cost.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "wagenlog/statistics/statistics.h"

namespace qdx {
class TDataSet;
}  // namespace qdx

namespace qdx::wagenlog {

// The sums of one period; Month is 0 for a whole year.
struct CostRow {
  int32_t Year = 0;
  uint32_t Month = 0;
  // In the order of kCategories.
  std::array<double, kCategories.size()> Categories{};
  double Total = 0;
};

struct CostTables {
  // The years that hold records, oldest first.
  std::vector<CostRow> Years;
  // Exactly twelve months, oldest first, ending with `lastYear`/`lastMonth`; a month without
  // records has zeros.
  std::vector<CostRow> Months;
};

// One fuel record as the report lists it, with the consumption the statistics stored in it.
struct FuelRow {
  int32_t DayNumber = 0;  // 0 for a record without a date
  int32_t KmStand = 0;
  double Litres = 0;
  double Amount = 0;
  double KmPerLitre = 0;
};

// Both walk `expenses` (tb1) from its first record and leave it on its first record again.
CostTables SumCostsPerPeriod(TDataSet& expenses, int32_t lastYear, uint32_t lastMonth);
// The fuel records in date order.
std::vector<FuelRow> FuelRecords(TDataSet& expenses);

// Merk, Type and Kenteken of the vehicle record, trimmed and joined by a blank, the empty ones
// left out; empty when the table is closed or has no record.
std::u16string VehicleName(TDataSet& vehicle);

}  // namespace qdx::wagenlog
