// The Dutch texts of the cost report: its headings, the captions of the vehicle data and the
// statistics (as the main window labels them), the columns of its tables and the month names.
#pragma once

#include <array>

namespace qdx::msg {

inline constexpr const char* kReportTitle = "Kostenrapport";
inline constexpr const char* kReportFile = "Bestand";
inline constexpr const char* kReportDate = "Gemaakt op";
inline constexpr const char* kReportVehicle = "Voertuiggegevens";
inline constexpr const char* kReportStatistics = "Statistieken";
inline constexpr const char* kReportFuelRecords = "Tankbeurten";
inline constexpr const char* kReportCostsPerYear = "Kosten per jaar";
inline constexpr const char* kReportCostsPerMonth = "Kosten per maand, laatste twaalf maanden";
inline constexpr const char* kReportNoRecords = "Geen records.";
inline constexpr const char* kReportYear = "Jaar";
inline constexpr const char* kReportMonth = "Maand";
inline constexpr const char* kReportTotal = "Totaal";
inline constexpr const char* kReportPage = "Pagina %d";

// The vehicle record's fields, captioned as on the main window.
inline constexpr std::array<const char*, 6> kReportVehicleCaptions = {
    "Merk", "Type", "Kenteken", "Start KM stand", "Afgifte datum deel 1", "Gewicht"};
inline constexpr std::array<const char*, 6> kReportVehicleFields = {
    "Merk", "Type", "Kenteken", "Start_km-stand", "Datum_deel_1", "Gewicht"};

// The statistics labels' captions on the main window, in the report's order.
inline constexpr std::array<const char*, 11> kReportStatisticsCaptions = {"Kosten",
                                                                          "Liters",
                                                                          "Kilometers",
                                                                          "KM prijs totaal",
                                                                          "KM prijs brandstof",
                                                                          "KM prijs onderhoud",
                                                                          "KM prijs verzekering",
                                                                          "KM prijs wegenbelasting",
                                                                          "KM prijs afschrijving",
                                                                          "Km per liter",
                                                                          "Ltr per 100 km"};

// The fuel records' columns, titled as the record grid titles them.
inline constexpr std::array<const char*, 5> kReportFuelColumns = {"Datum", "KMStand", "Liters",
                                                                  "bedrag", "KM/ltr"};

inline constexpr std::array<const char*, 12> kReportMonthNames = {
    "januari", "februari", "maart",     "april",   "mei",      "juni",
    "juli",    "augustus", "september", "oktober", "november", "december"};

}  // namespace qdx::msg
