// The CSV files LubeLogger exports and imports, one file per kind of record:
//
//   kind              columns (any order, any case; others are ignored)
//   gas records       Date, Odometer, FuelConsumed, Cost, IsFillToFull, MissedFuelUp, Notes
//   service / repair  Date, Odometer, Description, Notes, Cost
//   tax records       Date, Odometer (newer files), Description, Notes, Cost
//
// Gas records become "Brandstof" records (litres from FuelConsumed, the notes in Bedrijf);
// service and repair records "Onderhoud" with the description in Bedrijf; tax records
// "Wegenbelasting" with the description in Bedrijf, or the category their notes name when those
// are "Verzekering" or "Afschrijving", or none when they are "Overig" (as this program writes
// them). Texts are cut to the
// table's 30 characters; odometers are taken in the file's unit.
//
// Written: gas records for "Brandstof", service records for "Onderhoud", tax records for the
// rest, with the category text in the notes ("Overig" for a record without a category text); dates as yyyy-MM-dd, which LubeLogger reads in
// every culture.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "wagenlog/interchange/csv_reader.h"
#include "wagenlog/interchange/read_options.h"

namespace qdx::interchange {

enum class LubeLoggerKind : uint8_t { Gas, Service, Tax };

// The kind a header shows: FuelConsumed means gas, a Description without an Odometer tax, with
// one service (newer tax files carry an odometer too: name the kind for those). None when the
// header has neither FuelConsumed nor Description.
std::optional<LubeLoggerKind> DetectLubeLoggerKind(const std::vector<std::string>& header);

// The kind a file's name tells: tax records when it holds "tax" (any case). A file of tax records
// with an odometer column looks like one of service records; its name tells them apart.
std::optional<LubeLoggerKind> LubeLoggerKindFromFileName(std::string_view path);

// Reads a file of one kind; without a kind, the header's. Throws EInterchangeError when the kind
// cannot be told or the date or cost column is missing.
LayoutResult ReadLubeLogger(const CsvDocument& document, const ReadOptions& options,
                            std::optional<LubeLoggerKind> kind);

struct LubeLoggerFiles {
  std::vector<CsvRow> Gas;
  std::vector<CsvRow> Service;
  std::vector<CsvRow> Tax;
};
LubeLoggerFiles WriteLubeLogger(std::span<const ExpenseRecord> records);

}  // namespace qdx::interchange
