// The backup is read in two passes: the sections are found first (the cost types are listed
// before or after the costs, and every date of the file decides one date pattern), then the
// rows of the log and the costs become records.
#include "wagenlog/interchange/fuelio_layout.h"

#include <cmath>
#include <limits>
#include <map>

#include "wagenlog/interchange/csv_writer.h"
#include "wagenlog/interchange/interchange_error.h"
#include "wagenlog/interchange/interchange_messages.h"
#include "wagenlog/interchange/number_text.h"
#include "wagenlog/interchange/text_encoding.h"

namespace qdx::interchange {
namespace {

constexpr double kKilometresPerMile = 1.609344;
constexpr double kLitresPerUsGallon = 3.785411784;
constexpr double kLitresPerImperialGallon = 4.54609;

struct Section {
  std::string Name;
  const CsvRecord* Header = nullptr;
  std::vector<const CsvRecord*> Rows;
};

bool IsSectionMarker(const CsvRecord& record) {
  return record.Fields.size() >= 1 && record.Fields[0].starts_with("## ") &&
         (record.Fields.size() == 1 || record.Fields[1].empty());
}

std::map<std::string, Section> FindSections(const CsvDocument& document) {
  std::map<std::string, Section> sections;
  Section* current = nullptr;
  for (const CsvRecord& record : document.Records) {
    if (IsSectionMarker(record)) {
      const std::string name = record.Fields[0].substr(3);
      current = &sections[name];
      current->Name = name;
    } else if (current && !current->Header) {
      current->Header = &record;
    } else if (current) {
      current->Rows.push_back(&record);
    }
  }
  return sections;
}

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

// The column whose header starts with `prefix` (any case), e.g. "Odo" for "Odo (km)".
std::optional<size_t> ColumnStartingWith(const Section& section, std::string_view prefix) {
  if (!section.Header) return std::nullopt;
  const auto& names = section.Header->Fields;
  for (size_t i = 0; i < names.size(); ++i) {
    if (Lower(names[i]).starts_with(Lower(prefix))) return i;
  }
  return std::nullopt;
}

// The column of exactly this name (any case).
std::optional<size_t> ColumnNamed(const Section& section, std::string_view name) {
  if (!section.Header) return std::nullopt;
  const auto& names = section.Header->Fields;
  for (size_t i = 0; i < names.size(); ++i) {
    if (EqualsNoCase(names[i], name)) return i;
  }
  return std::nullopt;
}

std::string_view Cell(const CsvRecord& row, std::optional<size_t> column) {
  if (!column || *column >= row.Fields.size()) return {};
  return row.Fields[*column];
}

std::string_view HeaderName(const Section& section, std::optional<size_t> column) {
  return section.Header ? Cell(*section.Header, column) : std::string_view();
}

// Reads a number of another unit into a field, scaled to the table's unit.
void SetScaled(RecordBuilder& builder, ExpenseField field, std::string_view column,
               std::string_view text, double factor, char decimal, bool zeroIsNone) {
  if (text.find_first_not_of(" \t") == std::string_view::npos) return;
  const auto value = ReadDecimal(text, decimal);
  if (!value) return builder.Fail(column, text, kValueNotANumber);
  const double scaled = *value * factor;
  ExpenseRecord& record = builder.Record();
  if (field == ExpenseField::Liters) {
    record.Liters = scaled;
    return;
  }
  if (zeroIsNone && scaled == 0) return;
  const double rounded = std::round(scaled);
  if (rounded < std::numeric_limits<int32_t>::min() ||
      rounded > std::numeric_limits<int32_t>::max()) {
    return builder.Fail(column, text, kValueOutOfRange);
  }
  record.KMStand = static_cast<int32_t>(rounded);
}

struct Units {
  double KilometresPer = 1;
  double LitresPer = 1;
};

Units UnitsOf(const Section* log, const Section* vehicle) {
  Units units;
  std::string odo, fuel;
  if (log) {
    odo = Lower(HeaderName(*log, ColumnStartingWith(*log, "Odo")));
    fuel = Lower(HeaderName(*log, ColumnStartingWith(*log, "Fuel (")));
  }
  if (odo.find("(mi") != std::string::npos) {
    units.KilometresPer = kKilometresPerMile;
  } else if (odo.find("(km") == std::string::npos && vehicle && !vehicle->Rows.empty()) {
    // Without a unit in the header, the vehicle's distance unit: 1 for miles.
    if (Cell(*vehicle->Rows.front(), ColumnNamed(*vehicle, "DistUnit")) == "1") {
      units.KilometresPer = kKilometresPerMile;
    }
  }
  if (fuel.find("gal") != std::string::npos) {
    const bool imperial =
        fuel.find("uk") != std::string::npos || fuel.find("imp") != std::string::npos;
    units.LitresPer = imperial ? kLitresPerImperialGallon : kLitresPerUsGallon;
  }
  return units;
}

void ReadLog(const Section& log, const ValueFormats& formats, const Units& units,
             LayoutResult& result) {
  const auto date = ColumnNamed(log, "Data");
  const auto odo = ColumnStartingWith(log, "Odo");
  const auto fuel = ColumnStartingWith(log, "Fuel (");
  const auto price = ColumnStartingWith(log, "Price");
  const auto volumePrice = ColumnNamed(log, "VolumePrice");
  const auto city = ColumnStartingWith(log, "City");
  for (const CsvRecord* row : log.Rows) {
    RecordBuilder builder(row->Line, formats);
    builder.Record().Omschrijving = std::string(kBrandstof);
    builder.Set(ExpenseField::Datum, HeaderName(log, date), Cell(*row, date));
    SetScaled(builder, ExpenseField::KMStand, HeaderName(log, odo), Cell(*row, odo),
              units.KilometresPer, formats.DecimalSeparator, false);
    SetScaled(builder, ExpenseField::Liters, HeaderName(log, fuel), Cell(*row, fuel),
              units.LitresPer, formats.DecimalSeparator, false);
    builder.Set(ExpenseField::bedrag, HeaderName(log, price), Cell(*row, price));
    ExpenseRecord& record = builder.Record();
    if (!record.bedrag && record.Liters) {
      // No total: the fuel bought at the price per unit, both as the file gives them.
      if (const auto perUnit = ReadDecimal(Cell(*row, volumePrice), formats.DecimalSeparator)) {
        record.bedrag = RoundCurrency(*record.Liters / units.LitresPer * *perUnit);
      }
    }
    builder.Set(ExpenseField::Bedrijf, HeaderName(log, city), Cell(*row, city));
    builder.FinishInto(result);
  }
}

void ReadCosts(const Section& costs, const Section* categories, const ValueFormats& formats,
               const Units& units, LayoutResult& result) {
  std::map<std::string, std::string, std::less<>> typeNames;
  if (categories) {
    const auto id = ColumnNamed(*categories, "CostTypeID");
    const auto name = ColumnNamed(*categories, "Name");
    for (const CsvRecord* row : categories->Rows) {
      typeNames[std::string(Cell(*row, id))] = std::string(Cell(*row, name));
    }
  }
  const auto title = ColumnNamed(costs, "CostTitle");
  const auto date = ColumnNamed(costs, "Date");
  const auto odo = ColumnNamed(costs, "Odo");
  const auto type = ColumnNamed(costs, "CostTypeID");
  const auto cost = ColumnNamed(costs, "Cost");
  const auto isTemplate = ColumnNamed(costs, "isTemplate");
  const auto isIncome = ColumnNamed(costs, "isIncome");
  for (const CsvRecord* row : costs.Rows) {
    if (Cell(*row, isTemplate) == "1") continue;
    RecordBuilder builder(row->Line, formats);
    const auto typeName = typeNames.find(Cell(*row, type));
    if (typeName != typeNames.end()) {
      if (const auto category = FuelioCostCategory(typeName->second)) {
        builder.Record().Omschrijving = std::string(*category);
      }
    }
    builder.Set(ExpenseField::Datum, HeaderName(costs, date), Cell(*row, date));
    SetScaled(builder, ExpenseField::KMStand, HeaderName(costs, odo), Cell(*row, odo),
              units.KilometresPer, formats.DecimalSeparator, true);
    builder.Set(ExpenseField::bedrag, HeaderName(costs, cost), Cell(*row, cost));
    ExpenseRecord& record = builder.Record();
    if (record.bedrag && Cell(*row, isIncome) == "1") record.bedrag = -*record.bedrag;
    builder.Set(ExpenseField::Bedrijf, HeaderName(costs, title), Cell(*row, title));
    builder.FinishInto(result);
  }
}

const Section* Find(const std::map<std::string, Section>& sections, const char* name) {
  const auto it = sections.find(name);
  return it == sections.end() ? nullptr : &it->second;
}

}  // namespace

std::optional<std::string_view> FuelioCostCategory(std::string_view typeName) {
  struct Entry {
    std::string_view name;
    std::string_view category;
  };
  static constexpr Entry kTypes[] = {
      {"service", kOnderhoud},        {"maintenance", kOnderhoud},
      {"repair", kOnderhoud},         {"mot", kOnderhoud},
      {"onderhoud", kOnderhoud},      {"apk", kOnderhoud},
      {"reparatie", kOnderhoud},      {"insurance", kVerzekering},
      {"verzekering", kVerzekering},  {"tax", kWegenbelasting},
      {"road tax", kWegenbelasting},  {"registration", kWegenbelasting},
      {"wegenbelasting", kWegenbelasting}, {"belasting", kWegenbelasting},
      {"motorrijtuigenbelasting", kWegenbelasting}, {"mrb", kWegenbelasting},
      {"depreciation", kAfschrijving}, {"afschrijving", kAfschrijving},
  };
  const std::string_view name = TrimBlanks(typeName);
  for (const Entry& entry : kTypes) {
    if (EqualsNoCase(name, entry.name)) return entry.category;
  }
  return std::nullopt;
}

LayoutResult ReadFuelioBackup(const CsvDocument& document, const ReadOptions& options) {
  const auto sections = FindSections(document);
  const Section* log = Find(sections, "Log");
  const Section* costs = Find(sections, "Costs");
  if (!log && !costs) throw EInterchangeError(kFuelioNoLog);

  std::vector<std::string_view> dates;
  if (log) {
    for (const CsvRecord* row : log->Rows) dates.push_back(Cell(*row, ColumnNamed(*log, "Data")));
  }
  if (costs) {
    for (const CsvRecord* row : costs->Rows) dates.push_back(Cell(*row, ColumnNamed(*costs, "Date")));
  }
  const ValueFormats formats = MakeValueFormats(options, document, dates, true);
  const Units units = UnitsOf(log, Find(sections, "Vehicle"));

  LayoutResult result;
  AddCsvProblems(document, result.Problems);
  if (log) ReadLog(*log, formats, units, result);
  if (costs) ReadCosts(*costs, Find(sections, "CostCategories"), formats, units, result);
  return result;
}

namespace {

struct CostType {
  std::string_view Id;
  std::string_view Name;
};
constexpr CostType kWrittenTypes[] = {
    {"1", kOnderhoud}, {"2", kVerzekering}, {"3", kWegenbelasting},
    {"4", kAfschrijving}, {"5", "Overig"},
};

std::string_view WrittenTypeId(std::string_view category) {
  for (const CostType& type : kWrittenTypes) {
    if (type.Name == category) return type.Id;
  }
  return kWrittenTypes[4].Id;
}

std::string Optional(const std::optional<double>& value) {
  return value ? WriteDecimal(*value) : std::string();
}

std::string IsoDate(const std::optional<int32_t>& day) {
  return day ? DatePattern::Iso().Format(*day) : std::string();
}

}  // namespace

std::vector<CsvRow> WriteFuelioBackup(std::span<const ExpenseRecord> records) {
  std::vector<CsvRow> rows;
  rows.push_back({"## Vehicle"});
  rows.push_back({"Name", "Description", "DistUnit", "FuelUnit", "ConsumptionUnit",
                  "ImportCSVDateFormat", "VIN", "Insurance", "Plate", "Make", "Model", "Year",
                  "TankCount", "Tank1Type", "Tank2Type", "Active", "Tank1Capacity",
                  "Tank2Capacity", "FuelUnitTank2", "FuelConsumptionTank2"});
  rows.push_back({"Wagenlog", "", "0", "0", "0", "yyyy-MM-dd", "", "", "", "", "", "", "1", "0",
                  "0", "1", "0", "0", "0", "0"});

  rows.push_back({"## Log"});
  rows.push_back({"Data", "Odo (km)", "Fuel (litres)", "Full", "Price (optional)",
                  "l/100km (optional)", "latitude (optional)", "longitude (optional)",
                  "City (optional)", "Notes (optional)", "Missed", "TankNumber", "FuelType",
                  "VolumePrice", "StationID (optional)", "ExcludeDistance", "UniqueId",
                  "TankCalc"});
  int64_t uniqueId = 0;
  for (const ExpenseRecord& r : records) {
    if (r.Omschrijving != kBrandstof) continue;
    std::string perLitre;
    if (r.bedrag && r.Liters && *r.Liters > 0) perLitre = WriteRounded(*r.bedrag / *r.Liters, 3);
    rows.push_back({IsoDate(r.Datum), r.KMStand ? std::to_string(*r.KMStand) : "",
                    Optional(r.Liters), "1", Optional(r.bedrag), "", "", "", AnsiToUtf8(r.Bedrijf),
                    "", "0", "1", "0", perLitre, "", "0", std::to_string(++uniqueId), "0"});
  }

  rows.push_back({"## CostCategories"});
  rows.push_back({"CostTypeID", "Name", "priority", "color"});
  for (const CostType& type : kWrittenTypes) {
    rows.push_back({std::string(type.Id), std::string(type.Name), "0", ""});
  }

  rows.push_back({"## Costs"});
  rows.push_back({"CostTitle", "Date", "Odo", "CostTypeID", "Notes", "Cost", "flag", "idR",
                  "read", "RemindOdo", "RemindDate", "isTemplate", "RepeatOdo", "RepeatMonths",
                  "isIncome", "UniqueId"});
  for (const ExpenseRecord& r : records) {
    if (r.Omschrijving == kBrandstof) continue;
    const std::string_view typeId = WrittenTypeId(r.Omschrijving);
    const bool other = typeId == kWrittenTypes[4].Id;
    const bool income = r.bedrag && *r.bedrag < 0;
    rows.push_back({AnsiToUtf8(r.Bedrijf), IsoDate(r.Datum),
                    r.KMStand ? std::to_string(*r.KMStand) : "0", std::string(typeId),
                    other ? AnsiToUtf8(r.Omschrijving) : "",
                    r.bedrag ? WriteDecimal(std::fabs(*r.bedrag)) : "", "0", "0", "1", "0", "",
                    "0", "0", "0", income ? "1" : "0", std::to_string(++uniqueId)});
  }
  return rows;
}

}  // namespace qdx::interchange
