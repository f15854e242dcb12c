#include "app/demo_data.h"

#include <QString>
#include <array>
#include <cmath>
#include <cstdint>

#include "dataset/framework/data_set.h"
#include "engine/foundation/types/date_time.h"

namespace qdx {

namespace {

// A small fixed-seed generator, so the example is the same on every machine.
class TSequence {
 public:
  double Uniform(double low, double high) {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    const double unit = static_cast<double>(state_ >> 11) / 9007199254740992.0;
    return low + (high - low) * unit;
  }
  int Between(int low, int high) { return low + static_cast<int>(Uniform(0, high - low + 1)); }

 private:
  uint64_t state_ = 20240101;
};

TDateTime DateValue(QDate date) {
  int32_t dayNumber = 0;
  TryEncodeDate(date.year(), static_cast<uint32_t>(date.month()), static_cast<uint32_t>(date.day()),
                dayNumber);
  return DayNumberToDateValue(dayNumber);
}

double Cents(double amount) {
  return std::round(amount * 100) / 100;
}

void Append(TDataSet& expenses, QDate date, const char16_t* category, const char16_t* company,
            int32_t kmStand, double litres, double amount) {
  expenses.Append();
  expenses.FieldByName("Datum").SetAsDateTime(DateValue(date));
  expenses.FieldByName("Omschrijving").SetAsString(category);
  expenses.FieldByName("Bedrijf").SetAsString(company);
  if (kmStand > 0) expenses.FieldByName("KMStand").SetAsInteger(kmStand);
  if (litres > 0) expenses.FieldByName("Liters").SetAsFloat(litres);
  expenses.FieldByName("bedrag").SetAsCurrency(amount);
  expenses.Post();
}

}  // namespace

void FillDemoRecords(TDataSet& expenses, TDataSet& vehicle, QDate today) {
  constexpr int32_t kStartKm = 42150;
  const QDate start = today.addYears(-1).addDays(1);

  vehicle.Append();
  vehicle.FieldByName("Merk").SetAsString(u"Volkswagen");
  vehicle.FieldByName("Type").SetAsString(u"Golf 1.5 TSI");
  vehicle.FieldByName("Kenteken").SetAsString(u"K-123-BD");
  vehicle.FieldByName("Start_km-stand").SetAsInteger(kStartKm);
  vehicle.FieldByName("Gewicht").SetAsInteger(1285);
  vehicle.FieldByName("Datum_deel_1").SetAsDateTime(DateValue(QDate(2021, 3, 15)));
  vehicle.Post();

  TSequence random;
  static constexpr std::array<const char16_t*, 5> kStations = {u"Shell", u"BP", u"Esso", u"Tango",
                                                               u"TotalEnergies"};
  // Fuel: a tank every 8 to 21 days, 15 to 17.5 km per litre, 1.85 to 2.10 euro per litre.
  int32_t kmStand = kStartKm;
  for (QDate date = start.addDays(random.Between(2, 9)); date <= today;
       date = date.addDays(random.Between(8, 21))) {
    const int32_t distance = random.Between(380, 720);
    kmStand += distance;
    const double litres = Cents(distance / random.Uniform(15.0, 17.5));
    const double amount = Cents(litres * random.Uniform(1.85, 2.10));
    Append(expenses, date, u"Brandstof", kStations[static_cast<size_t>(random.Between(0, 4))],
           kmStand, litres, amount);
  }
  for (int month = 0; month <= 12; ++month) {
    const QDate first(start.addMonths(month).year(), start.addMonths(month).month(), 1);
    if (first < start || first > today) continue;
    Append(expenses, first, u"Verzekering", u"Centraal Beheer", 0, 0, 48.75);
    Append(expenses, first.addDays(1), u"Afschrijving", u"", 0, 0, 265.00);
    if (month % 3 == 0) Append(expenses, first.addDays(14), u"Wegenbelasting", u"Belastingdienst", 0, 0, 187.00);
  }
  Append(expenses, start.addMonths(3).addDays(11), u"Onderhoud", u"Autobedrijf De Vries", 0, 0,
         Cents(random.Uniform(280, 360)));
  Append(expenses, start.addMonths(9).addDays(4), u"Onderhoud", u"Autobedrijf De Vries", 0, 0,
         Cents(random.Uniform(520, 690)));
}

}  // namespace qdx
