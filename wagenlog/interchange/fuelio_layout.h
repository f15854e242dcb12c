// The Fuelio backup CSV: one file of sections, each a line "## Name", a header line and its rows.
//
// Read: "## Vehicle" (units), "## Log" (fill-ups), "## CostCategories" (cost type names) and
// "## Costs". Every fill-up becomes a "Brandstof" record: date, odometer, litres, the price paid
// (or litres times the price per litre when no price is given) and the station's city in
// Bedrijf. A cost becomes a record of the category its cost type names:
//
//   cost type name (any case)                                     category
//   Service, Maintenance, Repair, MOT, Onderhoud, APK, Reparatie  Onderhoud
//   Insurance, Verzekering                                        Verzekering
//   Tax, Road tax, Registration, Wegenbelasting, Belasting,      Wegenbelasting
//     Motorrijtuigenbelasting, MRB
//   Depreciation, Afschrijving                                    Afschrijving
//   any other (Parking, Tolls, Wash, ...)                         none (empty category)
//
// The cost's title goes to Bedrijf in every case, so a cost of another type keeps its title
// there. Templates are left out; an income is a negative amount; an odometer of 0 on a cost
// means none was given. Odometers in miles ("Odo (mi)") become kilometres and fuel in gallons
// ("Fuel (gal)", imperial when the header says UK or Imp) becomes litres. Texts longer than the
// table's 30 characters are cut.
//
// Written: the same sections, kilometres and litres, dates as yyyy-MM-dd, fuel records in the
// log and the others as costs of the types Onderhoud, Verzekering, Wegenbelasting, Afschrijving
// and Overig (the last keeps the record's category text in its notes).
#pragma once

#include <span>
#include <vector>

#include "wagenlog/interchange/csv_reader.h"
#include "wagenlog/interchange/read_options.h"

namespace qdx::interchange {

// Throws EInterchangeError for a file with neither a log nor a costs section.
LayoutResult ReadFuelioBackup(const CsvDocument& document, const ReadOptions& options);

// The backup's lines, section markers included, for a CSV writer that quotes every field.
std::vector<CsvRow> WriteFuelioBackup(std::span<const ExpenseRecord> records);

// The category of a cost type's name, or none for a type of another kind.
std::optional<std::string_view> FuelioCostCategory(std::string_view typeName);

}  // namespace qdx::interchange
