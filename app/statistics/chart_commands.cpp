#include "app/statistics/chart_commands.h"

#include <functional>

#include "app/forms/chart_windows.h"
#include "wagenlog/statistics/float_ops.h"
#include "wagenlog/statistics/statistics.h"
#include "dataset/framework/data_set.h"
#include "engine/foundation/types/date_time.h"

namespace qdx {

namespace {

// The fields the commands read, looked up once per command.
struct TExpenseFields {
  explicit TExpenseFields(TDataSet& expenses)
      : Date(expenses.FieldByName("datum")),
        Category(expenses.FieldByName("Omschrijving")),
        Reading(expenses.FieldByName("kmstand")),
        Litres(expenses.FieldByName("liters")),
        Amount(expenses.FieldByName("bedrag")) {}
  TField& Date;
  TField& Category;
  TField& Reading;
  TField& Litres;
  TField& Amount;
};

// One fuel record as the per-record commands see it.
struct TFuelPoint {
  QString Label;
  int32_t Distance = 0;
  double Litres = 0;
  double Amount = 0;
};

// The common frame: `prepare` clears and titles the series once the table is at its first
// record; `add` adds the points of one fuel record.
void WalkFuelRecords(TDataSet& expenses, int32_t startKmStand, TChartForm& form,
                     const std::function<void()>& prepare,
                     const std::function<void(const TFuelPoint&)>& add) {
  expenses.First();
  TExpenseFields fields(expenses);
  prepare();
  {
    TControlsSuspension suspension(expenses);
    int32_t previousReading = startKmStand;
    while (!expenses.Eof()) {
      if (fields.Category.AsString() == kCategoryFuel) {
        const int32_t reading = fields.Reading.AsInteger();
        TFuelPoint point;
        point.Distance = WrappingSubtract(reading, previousReading);
        previousReading = reading;
        point.Litres = fields.Litres.AsFloat();
        point.Amount = fields.Amount.AsFloat();
        point.Label = QString::fromStdU16String(fields.Date.AsString());
        add(point);
      }
      expenses.Next();
    }
  }
  form.show();
}

// Prepares Form2 for a command that shows only the bars.
void PrepareBars(TForm2& form, const char* chartTitle, const char* seriesTitle) {
  form.Series1().Clear();
  form.Chart().SetTitle(QString::fromUtf8(chartTitle));
  form.Series1().SetTitle(QString::fromUtf8(seriesTitle));
  form.SetLineSeriesShown(false);
}

double KmPerLitre(int32_t distance, double litres) {
  return static_cast<double>(Divide(static_cast<long double>(distance), litres));
}

uint32_t MonthOf(const TField& date) {
  return DecodeDate(DateValueToDayNumber(date.AsDateTime())).Month;
}

}  // namespace

void ChartConsumption(TDataSet& expenses, int32_t startKmStand, TForm2& form) {
  WalkFuelRecords(
      expenses, startKmStand, form,
      [&] {
        form.Series1().Clear();
        form.Series2().Clear();
        form.Chart().SetTitle(QStringLiteral("Verbruik"));
        form.Series1().SetTitle(QStringLiteral("KM/Ltr"));
        form.Series2().SetTitle(QStringLiteral("Ltr/100KM"));
        form.SetLineSeriesShown(true);
      },
      [&](const TFuelPoint& p) {
        const double kmPerLitre = KmPerLitre(p.Distance, p.Litres);
        form.Series1().Add(kmPerLitre, p.Label);
        form.Series2().Add(static_cast<double>(Divide(100.0L, kmPerLitre)), p.Label);
      });
}

void ChartLitres(TDataSet& expenses, int32_t startKmStand, TForm2& form) {
  WalkFuelRecords(
      expenses, startKmStand, form, [&] { PrepareBars(form, "Getankte liters", "Liters"); },
      [&](const TFuelPoint& p) { form.Series1().Add(p.Litres, p.Label); });
}

void ChartKilometres(TDataSet& expenses, int32_t startKmStand, TForm2& form) {
  WalkFuelRecords(
      expenses, startKmStand, form,
      [&] { PrepareBars(form, "Gereden kilometers", "Kilometers"); },
      [&](const TFuelPoint& p) { form.Series1().Add(p.Distance, p.Label); });
}

void ChartFuelPrice(TDataSet& expenses, int32_t startKmStand, TForm2& form) {
  WalkFuelRecords(
      expenses, startKmStand, form,
      [&] { PrepareBars(form, "Brandstof prijs in Euro centen", "Euro centen"); },
      [&](const TFuelPoint& p) {
        const long double tenths = Divide(p.Amount, p.Litres) * 1000.0L;
        const long double cents = static_cast<long double>(RoundToEven(tenths)) / 10.0L;
        form.Series1().Add(static_cast<double>(cents), p.Label);
      });
}

void ChartConsumptionLitresKilometres(TDataSet& expenses, int32_t startKmStand, TForm3& form) {
  WalkFuelRecords(
      expenses, startKmStand, form,
      [&] {
        form.Series1().Clear();
        form.Series2().Clear();
        form.Series3().Clear();
        form.Chart().SetTitle(QStringLiteral("Verbruik/liters/kilometers"));
      },
      [&](const TFuelPoint& p) {
        form.Series1().Add(KmPerLitre(p.Distance, p.Litres), p.Label);
        form.Series2().Add(p.Litres, p.Label);
        form.Series3().Add(p.Distance / 10, p.Label);
      });
}

void ChartCostPerMonth(TDataSet& expenses, TForm2& form) {
  expenses.First();
  TExpenseFields fields(expenses);
  form.Series1().Clear();
  form.Series2().Clear();
  form.Chart().SetTitle(QStringLiteral("Kosten per maand"));
  form.Series1().SetTitle(QStringLiteral("Kosten"));
  form.Series2().SetTitle(QStringLiteral("Ltr/100KM"));
  {
    TControlsSuspension suspension(expenses);
    form.SetLineSeriesShown(false);
    if (!expenses.Eof()) {
      double sum = 0;
      uint32_t currentMonth = MonthOf(fields.Date);
      while (!expenses.Eof()) {
        const double amount = fields.Amount.AsFloat();
        sum += amount;
        const uint32_t month = MonthOf(fields.Date);
        if (month != currentMonth) {
          sum -= amount;
          form.Series1().Add(sum, QString::number(currentMonth));
          sum = amount;
        }
        expenses.Next();
        if (expenses.Eof()) form.Series1().Add(sum, QString::number(month));
        currentMonth = month;
      }
    }
  }
  form.show();
}

void ChartCostShares(TDataSet& expenses, TForm4& form) {
  std::array<double, kCategories.size()> sums{};
  {
    TControlsSuspension suspension(expenses);
    expenses.First();
    TExpenseFields fields(expenses);
    form.Series1().Clear();
    while (!expenses.Eof()) {
      const std::u16string category = fields.Category.AsString();
      const double amount = fields.Amount.AsFloat();
      for (size_t i = 0; i < kCategories.size(); ++i) {
        if (category == kCategories[i]) sums[i] += amount;
      }
      expenses.Next();
    }
  }
  static constexpr const char* kSliceLabels[] = {"brandstof", "onderhoud", "verzekering",
                                                 "wegenbelasting", "afschrijving"};
  for (size_t i = 0; i < sums.size(); ++i) {
    form.Series1().Add(sums[i], QString::fromUtf8(kSliceLabels[i]));
  }
  form.show();
}

}  // namespace qdx
