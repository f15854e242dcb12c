#include "wagenlog/interchange/lubelogger_layout.h"

#include "wagenlog/interchange/csv_writer.h"
#include "wagenlog/interchange/interchange_error.h"
#include "wagenlog/interchange/interchange_messages.h"
#include "wagenlog/interchange/number_text.h"
#include "wagenlog/interchange/text_encoding.h"
#include "engine/foundation/format.h"

namespace qdx::interchange {
namespace {

std::optional<size_t> Column(const std::vector<std::string>& header, std::string_view name) {
  for (size_t i = 0; i < header.size(); ++i) {
    if (EqualsNoCase(header[i], name)) return i;
  }
  return std::nullopt;
}

std::string_view Cell(const CsvRecord& row, std::optional<size_t> column) {
  if (!column || *column >= row.Fields.size()) return {};
  return row.Fields[*column];
}

// The notes of a written tax record whose category is empty or no category text: read back, the
// record has no category again instead of becoming road tax.
constexpr std::string_view kNoCategoryNotes = "Overig";

// The category a tax record's notes name, when they name one this program writes there.
std::string_view TaxCategory(std::string_view notes) {
  notes = TrimBlanks(notes);
  if (EqualsNoCase(notes, kNoCategoryNotes)) return {};
  const auto category = CategoryByName(notes);
  if (category && (*category == kVerzekering || *category == kAfschrijving)) return *category;
  return kWegenbelasting;
}

// The notes a tax record is written with: its category, or the mark of none.
std::string TaxNotes(const std::string& category) {
  return CategoryByName(category) ? AnsiToUtf8(category) : std::string(kNoCategoryNotes);
}

std::string IsoDate(const std::optional<int32_t>& day) {
  return day ? DatePattern::Iso().Format(*day) : std::string();
}

std::string Optional(const std::optional<double>& value) {
  return value ? WriteDecimal(*value) : std::string();
}

std::string Odometer(const std::optional<int32_t>& km) {
  return km ? std::to_string(*km) : std::string();
}

}  // namespace

std::optional<LubeLoggerKind> DetectLubeLoggerKind(const std::vector<std::string>& header) {
  if (Column(header, "FuelConsumed")) return LubeLoggerKind::Gas;
  if (!Column(header, "Description")) return std::nullopt;
  return Column(header, "Odometer") ? LubeLoggerKind::Service : LubeLoggerKind::Tax;
}

LayoutResult ReadLubeLogger(const CsvDocument& document, const ReadOptions& options,
                            std::optional<LubeLoggerKind> kind) {
  if (document.Records.empty()) throw EInterchangeError(kFileEmpty);
  const std::vector<std::string>& header = document.Records.front().Fields;
  if (!kind) kind = DetectLubeLoggerKind(header);
  if (!kind) throw EInterchangeError(kLubeLoggerKindUnknown);
  const auto date = Column(header, "Date");
  const auto cost = Column(header, "Cost");
  for (const auto& [column, field] : {std::pair{date, ExpenseField::Datum},
                                      std::pair{cost, ExpenseField::bedrag}}) {
    if (!column) {
      const FormatArg args[] = {ExpenseFieldName(field)};
      throw EInterchangeError(FormatOrFallback(kColumnMissing, args));
    }
  }
  const auto odometer = Column(header, "Odometer");
  const auto fuel = Column(header, "FuelConsumed");
  const auto description = Column(header, "Description");
  const auto notes = Column(header, "Notes");

  std::vector<std::string_view> dates;
  for (size_t i = 1; i < document.Records.size(); ++i) {
    dates.push_back(Cell(document.Records[i], date));
  }
  const ValueFormats formats = MakeValueFormats(options, document, dates, true);

  LayoutResult result;
  AddCsvProblems(document, result.Problems);
  for (size_t i = 1; i < document.Records.size(); ++i) {
    const CsvRecord& row = document.Records[i];
    RecordBuilder builder(row.Line, formats);
    const auto set = [&](ExpenseField field, std::optional<size_t> column) {
      if (column) builder.Set(field, header[*column], Cell(row, column));
    };
    set(ExpenseField::Datum, date);
    set(ExpenseField::KMStand, odometer);
    set(ExpenseField::bedrag, cost);
    switch (*kind) {
      case LubeLoggerKind::Gas:
        builder.Record().Omschrijving = std::string(kBrandstof);
        set(ExpenseField::Liters, fuel);
        set(ExpenseField::Bedrijf, notes);
        break;
      case LubeLoggerKind::Service:
        builder.Record().Omschrijving = std::string(kOnderhoud);
        set(ExpenseField::Bedrijf, description);
        break;
      case LubeLoggerKind::Tax:
        builder.Record().Omschrijving = std::string(TaxCategory(Cell(row, notes)));
        set(ExpenseField::Bedrijf, description);
        break;
    }
    builder.FinishInto(result);
  }
  return result;
}

std::optional<LubeLoggerKind> LubeLoggerKindFromFileName(std::string_view path) {
  std::string name(path.substr(path.find_last_of('/') + 1));
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (name.find("tax") != std::string::npos) return LubeLoggerKind::Tax;
  return std::nullopt;
}

LubeLoggerFiles WriteLubeLogger(std::span<const ExpenseRecord> records) {
  LubeLoggerFiles files;
  files.Gas.push_back({"Date", "Odometer", "FuelConsumed", "Cost", "FuelEconomy", "IsFillToFull",
                       "MissedFuelUp", "Notes"});
  files.Service.push_back({"Date", "Odometer", "Description", "Notes", "Cost"});
  files.Tax.push_back({"Date", "Odometer", "Description", "Notes", "Cost"});
  for (const ExpenseRecord& r : records) {
    if (r.Omschrijving == kBrandstof) {
      files.Gas.push_back({IsoDate(r.Datum), Odometer(r.KMStand), Optional(r.Liters),
                           Optional(r.bedrag), "", "True", "False", AnsiToUtf8(r.Bedrijf)});
    } else if (r.Omschrijving == kOnderhoud) {
      files.Service.push_back({IsoDate(r.Datum), Odometer(r.KMStand), AnsiToUtf8(r.Bedrijf), "",
                               Optional(r.bedrag)});
    } else {
      files.Tax.push_back({IsoDate(r.Datum), Odometer(r.KMStand), AnsiToUtf8(r.Bedrijf),
                           TaxNotes(r.Omschrijving), Optional(r.bedrag)});
    }
  }
  return files;
}

}  // namespace qdx::interchange
