// Sample data for the chart windows, as the chart commands would put it there.
#pragma once

#include "app/forms/chart_windows.h"

namespace qdx::test {

// Fills Form2 as "Verbruik" does: km/litre bars and litres/100 km line for `count` tankings.
void FillConsumption(TForm2& form, int count = 14);
// Fills Form3 as "VerbrLtrKm" does.
void FillConsumptionLitresKilometres(TForm3& form, int count = 10);
// Fills Form4 as "Taart" does.
void FillCostShares(TForm4& form);

}  // namespace qdx::test
