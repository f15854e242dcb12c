#include "app/statistics/statistics_labels.h"

#include "app/statistics/number_formats.h"

namespace qdx {

TStatisticsLabels StatisticsLabels(const TStatistics& s) {
  return {FormatGeneral(s.TotalCost),         FormatGeneral(s.TotalLitres),
          FormatGeneral(s.KilometresDriven),  FormatCurrency3(s.TotalPerKm),
          FormatCurrency3(s.FuelPerKm),       FormatCurrency3(s.MaintenancePerKm),
          FormatCurrency3(s.InsurancePerKm),  FormatCurrency3(s.RoadTaxPerKm),
          FormatCurrency3(s.DepreciationPerKm), FormatFixed3(s.KmPerLitre),
          FormatFixed3(s.LitresPer100Km)};
}

}  // namespace qdx
