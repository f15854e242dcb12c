#include "sample_charts.h"

#include <QDate>

namespace qdx::test {

namespace {

// Tankings about three weeks apart, with plausible kilometres and litres.
struct Tanking {
  QString Date;
  int Kilometres;
  double Litres;
};

Tanking SampleTanking(int i) {
  const QDate date = QDate(2024, 1, 6).addDays(i * 23);
  const int km = 560 + (i * 137) % 260;
  const double litres = 38.0 + (i * 53 % 17) * 0.9;
  return {date.toString(QStringLiteral("d-M-yyyy")), km, litres};
}

}  // namespace

void FillConsumption(TForm2& form, int count) {
  form.Chart().SetTitle(QStringLiteral("Verbruik"));
  form.Series1().Clear();
  form.Series2().Clear();
  form.Series1().SetTitle(QStringLiteral("KM/Ltr"));
  form.Series2().SetTitle(QStringLiteral("Ltr/100KM"));
  form.SetLineSeriesShown(true);
  for (int i = 0; i < count; ++i) {
    const Tanking t = SampleTanking(i);
    const double kmPerLitre = t.Kilometres / t.Litres;
    form.Series1().Add(kmPerLitre, t.Date);
    form.Series2().Add(100 / kmPerLitre, t.Date);
  }
}

void FillConsumptionLitresKilometres(TForm3& form, int count) {
  form.Chart().SetTitle(QStringLiteral("Verbruik/liters/kilometers"));
  form.Series1().Clear();
  form.Series2().Clear();
  form.Series3().Clear();
  for (int i = 0; i < count; ++i) {
    const Tanking t = SampleTanking(i);
    form.Series1().Add(t.Kilometres / t.Litres, t.Date);
    form.Series2().Add(t.Litres, t.Date);
    form.Series3().Add(t.Kilometres / 10, t.Date);
  }
}

void FillCostShares(TForm4& form) {
  form.Series1().Clear();
  form.Series1().Add(1843.27, QStringLiteral("brandstof"));
  form.Series1().Add(612.50, QStringLiteral("onderhoud"));
  form.Series1().Add(734.16, QStringLiteral("verzekering"));
  form.Series1().Add(402.00, QStringLiteral("wegenbelasting"));
  form.Series1().Add(1500.00, QStringLiteral("afschrijving"));
}

}  // namespace qdx::test
