#include "wagenlog/statistics/statistics.h"

#include "wagenlog/statistics/float_ops.h"
#include "dataset/framework/data_set.h"

namespace qdx {

int32_t ReadStartKmStand(TDataSet& vehicle) {
  return vehicle.FieldByName("start_km-stand").AsInteger();
}

double FuelRecordConsumption(int32_t distance, double litres) {
  const long double scaled = Divide(static_cast<long double>(distance), litres) * 100.0L;
  return static_cast<double>(static_cast<long double>(RoundToEven(scaled)) / 100.0L);
}

TStatistics ComputeStatistics(TDataSet& expenses, TDataSet& vehicle, int32_t& startKmStand) {
  TStatistics s;
  TControlsSuspension suspension(expenses);
  startKmStand = ReadStartKmStand(vehicle);
  int32_t previousReading = startKmStand;

  TField& amountField = expenses.FieldByName("bedrag");
  TField& categoryField = expenses.FieldByName("Omschrijving");
  TField& readingField = expenses.FieldByName("kmstand");
  TField& litresField = expenses.FieldByName("liters");
  TField& consumptionField = expenses.FieldByName("verbruik");

  expenses.First();
  while (!expenses.Eof()) {
    const double amount = amountField.AsFloat();
    const std::u16string category = categoryField.AsString();
    s.TotalCost += amount;
    if (category == kCategoryFuel) {
      const int32_t reading = readingField.AsInteger();
      const int32_t distance = WrappingSubtract(reading, previousReading);
      s.FuelCost += amount;
      s.KilometresDriven = static_cast<double>(WrappingSubtract(reading, startKmStand));
      const double litres = litresField.AsFloat();
      s.TotalLitres += litres;
      const double consumption = FuelRecordConsumption(distance, litres);
      // A database another program writes is read here only; the figures stay in memory.
      if (expenses.CanModify()) {
        expenses.Edit();
        consumptionField.SetAsFloat(consumption);
      }
      previousReading = reading;
    }
    if (category == kCategoryMaintenance) s.MaintenanceCost += amount;
    if (category == kCategoryInsurance) s.InsuranceCost += amount;
    if (category == kCategoryRoadTax) s.RoadTax += amount;
    if (category == kCategoryDepreciation) s.Depreciation += amount;
    expenses.Next();
  }

  if (s.KilometresDriven > 0) {
    const long double km = s.KilometresDriven;
    s.TotalPerKm = static_cast<double>(s.TotalCost / km);
    s.FuelPerKm = static_cast<double>(s.FuelCost / km);
    s.MaintenancePerKm = static_cast<double>(s.MaintenanceCost / km);
    s.InsurancePerKm = static_cast<double>(s.InsuranceCost / km);
    s.RoadTaxPerKm = static_cast<double>(s.RoadTax / km);
    s.DepreciationPerKm = static_cast<double>(s.Depreciation / km);
    s.KmPerLitre = static_cast<double>(Divide(km, s.TotalLitres));
    s.LitresPer100Km = static_cast<double>(Divide(100.0L, s.KmPerLitre));
  }
  return s;
}

}  // namespace qdx
