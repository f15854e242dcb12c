#include "wagenlog/report/cost_report.h"

#include <algorithm>
#include <map>

#include "dataset/framework/data_set.h"
#include "engine/foundation/types/date_time.h"

namespace qdx::wagenlog {

namespace {

void AddTo(CostRow& row, size_t category, double amount) {
  if (category < row.Categories.size()) row.Categories[category] += amount;
  row.Total += amount;
}

size_t CategoryIndex(const std::u16string& description) {
  const auto found = std::find_if(kCategories.begin(), kCategories.end(),
                                  [&](const char16_t* name) { return description == name; });
  return static_cast<size_t>(found - kCategories.begin());
}

// Months counted from year 0, so that the twelve months are one range.
int64_t MonthNumber(int32_t year, uint32_t month) {
  return int64_t{year} * 12 + (month - 1);
}

std::u16string Trimmed(std::u16string text) {
  const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  const auto first = std::find_if_not(text.begin(), text.end(), blank);
  return {first, text.end()};
}

}  // namespace

CostTables SumCostsPerPeriod(TDataSet& expenses, int32_t lastYear, uint32_t lastMonth) {
  CostTables tables;
  const int64_t lastNumber = MonthNumber(lastYear, lastMonth);
  for (int64_t number = lastNumber - 11; number <= lastNumber; ++number) {
    tables.Months.push_back(
        {static_cast<int32_t>(number / 12), static_cast<uint32_t>(number % 12 + 1), {}, 0});
  }
  std::map<int32_t, CostRow> years;
  expenses.First();
  TField& date = expenses.FieldByName("Datum");
  TField& description = expenses.FieldByName("Omschrijving");
  TField& amount = expenses.FieldByName("bedrag");
  {
    TControlsSuspension suspension(expenses);
    for (; !expenses.Eof(); expenses.Next()) {
      if (date.IsNull()) continue;
      const TCalendarDate day = DecodeDate(DateValueToDayNumber(date.AsDateTime()));
      const size_t category = CategoryIndex(description.AsString());
      const double value = amount.AsFloat();
      CostRow& year = years[day.Year];
      year.Year = day.Year;
      AddTo(year, category, value);
      const int64_t offset = MonthNumber(day.Year, day.Month) - (lastNumber - 11);
      if (offset >= 0 && offset < 12)
        AddTo(tables.Months[static_cast<size_t>(offset)], category, value);
    }
  }
  expenses.First();
  for (const auto& [number, row] : years) tables.Years.push_back(row);
  return tables;
}

std::vector<FuelRow> FuelRecords(TDataSet& expenses) {
  std::vector<FuelRow> rows;
  expenses.First();
  TField& date = expenses.FieldByName("Datum");
  TField& description = expenses.FieldByName("Omschrijving");
  TField& reading = expenses.FieldByName("KMStand");
  TField& litres = expenses.FieldByName("Liters");
  TField& amount = expenses.FieldByName("bedrag");
  TField& consumption = expenses.FieldByName("verbruik");
  {
    TControlsSuspension suspension(expenses);
    for (; !expenses.Eof(); expenses.Next()) {
      if (description.AsString() != kCategoryFuel) continue;
      rows.push_back({date.IsNull() ? 0 : DateValueToDayNumber(date.AsDateTime()),
                      reading.AsInteger(), litres.AsFloat(), amount.AsFloat(),
                      consumption.AsFloat()});
    }
  }
  expenses.First();
  return rows;
}

std::u16string VehicleName(TDataSet& vehicle) {
  if (!vehicle.Active() || vehicle.IsEmpty()) return {};
  std::u16string name;
  for (const char* field : {"Merk", "Type", "Kenteken"}) {
    const std::u16string part = Trimmed(vehicle.FieldByName(field).AsString());
    if (part.empty()) continue;
    if (!name.empty()) name += u' ';
    name += part;
  }
  return name;
}

}  // namespace qdx::wagenlog
