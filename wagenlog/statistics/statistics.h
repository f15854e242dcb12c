// ComputeStatistics: one walk over the expense records in date order that sums the costs per
// category, finds the kilometres driven and the litres tanked, and writes each fuel record's
// own consumption (kilometres per litre, two decimals) back into its `verbruik` field.
//
// The walk:
//  - StartKmStand is read from the vehicle record (`Start_km-stand`, null reads 0); the first
//    fuel record's distance is measured from it, every later one from the previous fuel
//    record's `KMStand` (records of other categories in between do not count).
//  - A fuel record is one whose `Omschrijving` is exactly "Brandstof". Its consumption is
//    distance / litres * 100 in extended precision, rounded to an integer with ties to even,
//    then / 100. The dataset is put in edit state and `verbruik` set; the move to the next
//    record posts it (also for the last record, and also when the value did not change).
//  - Kilometres driven is the last fuel record's `KMStand` minus StartKmStand (replaced, not
//    added). When it is positive the six prices per kilometre, kilometres per litre and litres
//    per 100 km follow; otherwise they stay 0.
// The refreshing of the expense table's controls is off during the walk and back on afterwards,
// also when the walk fails. A failure (EZeroDivide / EInvalidOp for a fuel record with no
// litres, a dataset error while posting) ends the run: records already written stay written,
// and the caller keeps its previous labels.
#pragma once

#include <array>
#include <cstdint>

namespace qdx {

class TDataSet;

// The five category texts, compared exactly.
inline constexpr const char16_t* kCategoryFuel = u"Brandstof";
inline constexpr const char16_t* kCategoryMaintenance = u"Onderhoud";
inline constexpr const char16_t* kCategoryInsurance = u"Verzekering";
inline constexpr const char16_t* kCategoryRoadTax = u"Wegenbelasting";
inline constexpr const char16_t* kCategoryDepreciation = u"Afschrijving";
inline constexpr std::array<const char16_t*, 5> kCategories = {
    kCategoryFuel, kCategoryMaintenance, kCategoryInsurance, kCategoryRoadTax,
    kCategoryDepreciation};

// The figures of one run.
struct TStatistics {
  double TotalCost = 0;
  double FuelCost = 0;
  double MaintenanceCost = 0;
  double InsuranceCost = 0;
  double RoadTax = 0;
  double Depreciation = 0;
  double TotalLitres = 0;
  double KilometresDriven = 0;
  double TotalPerKm = 0;
  double FuelPerKm = 0;
  double MaintenancePerKm = 0;
  double InsurancePerKm = 0;
  double RoadTaxPerKm = 0;
  double DepreciationPerKm = 0;
  double KmPerLitre = 0;
  double LitresPer100Km = 0;
};

// The start odometer reading of the vehicle record; null (or no record) reads 0.
int32_t ReadStartKmStand(TDataSet& vehicle);

// Runs the walk over `expenses` (tb1) with the vehicle record of `vehicle` (tb6); stores the
// start odometer reading it read in `startKmStand`.
TStatistics ComputeStatistics(TDataSet& expenses, TDataSet& vehicle, int32_t& startKmStand);

// The consumption written into a fuel record: `distance` / `litres` * 100, rounded ties to
// even, / 100. Raises EZeroDivide or EInvalidOp.
double FuelRecordConsumption(int32_t distance, double litres);


// Integer subtraction as the 32-bit machine does it: wraps instead of overflowing.
inline int32_t WrappingSubtract(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

}  // namespace qdx
