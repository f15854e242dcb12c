#include "expense_tables.h"

#include "engine/foundation/little_endian.h"
#include "engine/foundation/types/date_time.h"
#include "wagenlog/schema.h"

namespace qdx::test {

std::vector<uint8_t> NativeDate(int year, int month, int day) {
  int32_t dayNumber = 0;
  TryEncodeDate(year, static_cast<uint32_t>(month), static_cast<uint32_t>(day), dayNumber);
  return NativeFloat(DayNumberToDateValue(dayNumber));
}

std::vector<uint8_t> NativeText(const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

std::vector<uint8_t> NativeInt(int32_t value) {
  std::vector<uint8_t> bytes(4);
  le::Store<int32_t>(bytes.data(), value);
  return bytes;
}

std::vector<uint8_t> NativeFloat(double value) {
  std::vector<uint8_t> bytes(8);
  le::Store<double>(bytes.data(), value);
  return bytes;
}

TExpenseTables::TExpenseTables() {
  tb1.SetName("tb1");
  wagenlog::DefineExpenseFields(tb1.FieldDefs());
  tb1.Layout();
  tb6.SetName("tb6");
  wagenlog::DefineVehicleFields(tb6.FieldDefs());
  tb6.Layout();
}

TExpenseTables::~TExpenseTables() = default;

void TExpenseTables::Add(const TExpense& e) {
  tb1.Store({NativeDate(e.Year, e.Month, e.Day), NativeText(e.Category), NativeText(e.Company),
             NativeInt(e.KmStand), NativeFloat(e.Liters), NativeFloat(e.Bedrag), {}});
}

void TExpenseTables::Add(std::initializer_list<TExpense> expenses) {
  for (const TExpense& e : expenses) Add(e);
}

void TExpenseTables::SetVehicle(std::optional<int32_t> startKmStand) {
  tb6.Store({NativeText("Volvo"), NativeText("V70"), NativeText("12-AB-34"),
             startKmStand ? NativeInt(*startKmStand) : std::vector<uint8_t>{}, NativeInt(1450),
             NativeDate(2019, 5, 1)});
}

void TExpenseTables::Open() {
  tb1.Open();
  tb6.Open();
}

std::vector<double> TExpenseTables::Consumptions() {
  std::vector<double> values;
  for (tb1.First(); !tb1.Eof(); tb1.Next()) values.push_back(tb1.FieldByName("verbruik").AsFloat());
  return values;
}

}  // namespace qdx::test
