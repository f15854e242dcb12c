// The seven chart commands: each walks the expense records in date order and fills one chart
// window, then shows it.
//
// The per-record commands (all but Taart) move to the first record (settling a pending change),
// clear their series, set the titles, suspend the refreshing of the table's controls, add one
// point per fuel record labelled with its date in the user's short date form, resume and show
// the window. They keep their own previous fuel reading, starting at StartKmStand. Kost p mnd
// adds one bar per run of consecutive records in the same month number (all categories); Taart
// five slices, one per category, also when a sum is 0.
//
// A failure (EZeroDivide / EInvalidOp for a fuel record without litres or, in Verbruik, without
// distance) ends the command: the points added before it stay, the window is not shown, the
// controls are resumed. Nothing is written to the database.
#pragma once

#include <cstdint>

namespace qdx {

class TDataSet;
class TForm2;
class TForm3;
class TForm4;

// "Verbruik": Series1 km per litre, Series2 litres per 100 km (line shown).
void ChartConsumption(TDataSet& expenses, int32_t startKmStand, TForm2& form);
// "Brandstof Ltr": Series1 litres.
void ChartLitres(TDataSet& expenses, int32_t startKmStand, TForm2& form);
// "Kilometers": Series1 kilometres since the previous fuel record.
void ChartKilometres(TDataSet& expenses, int32_t startKmStand, TForm2& form);
// "Brandstof Prijs": Series1 the price per litre in euro cents with one decimal.
void ChartFuelPrice(TDataSet& expenses, int32_t startKmStand, TForm2& form);
// "VerbrLtrKm": Series1 km per litre, Series2 litres, Series3 kilometres / 10.
void ChartConsumptionLitresKilometres(TDataSet& expenses, int32_t startKmStand, TForm3& form);
// "Kost p mnd": one bar per month run.
void ChartCostPerMonth(TDataSet& expenses, TForm2& form);
// "Taart": the five category sums.
void ChartCostShares(TDataSet& expenses, TForm4& form);

}  // namespace qdx
