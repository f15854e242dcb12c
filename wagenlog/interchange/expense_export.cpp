#include "wagenlog/interchange/expense_export.h"

#include <sstream>

#include "wagenlog/interchange/csv_writer.h"
#include "wagenlog/interchange/fuelio_layout.h"

namespace qdx::interchange {
namespace {

struct LayoutName {
  std::string_view Name;
  ExportLayout Layout;
};
constexpr LayoutName kLayoutNames[] = {
    {"generic", ExportLayout::Generic},
    {"csv", ExportLayout::Generic},
    {"fuelio", ExportLayout::Fuelio},
    {"lubelogger-gas", ExportLayout::LubeLoggerGas},
    {"lubelogger-service", ExportLayout::LubeLoggerService},
    {"lubelogger-repair", ExportLayout::LubeLoggerService},
    {"lubelogger-tax", ExportLayout::LubeLoggerTax},
};

// The table's seven fields with the values as the table export writes them; an empty text is
// null in the record, and written as null (nothing).
std::string GenericText(std::span<const ExpenseRecord> records) {
  std::ostringstream text;
  TCsvWriter writer(text);
  const CsvRow header(kExpenseFieldNames.begin(), kExpenseFieldNames.end());
  writer.WriteLine(std::span<const std::string>(header));
  using Cell = std::optional<std::string>;
  const auto number = [](const auto& value) -> Cell {
    if (!value) return std::nullopt;
    return FormatCsvNumber(static_cast<double>(*value));
  };
  const auto text8 = [](const std::string& value) -> Cell {
    if (value.empty()) return std::nullopt;
    return AnsiToUtf8(value);
  };
  for (const ExpenseRecord& r : records) {
    const Cell cells[] = {r.Datum ? Cell(FormatCsvDate(*r.Datum)) : std::nullopt,
                          text8(r.Omschrijving),
                          text8(r.Bedrijf),
                          r.KMStand ? Cell(std::to_string(*r.KMStand)) : std::nullopt,
                          number(r.Liters),
                          number(r.bedrag),
                          number(r.verbruik)};
    writer.WriteLine(cells);
  }
  return text.str();
}

}  // namespace

std::optional<ExportLayout> ExportLayoutByName(std::string_view name) {
  for (const LayoutName& entry : kLayoutNames) {
    if (EqualsNoCase(name, entry.Name)) return entry.Layout;
  }
  return std::nullopt;
}

std::optional<LubeLoggerKind> LubeLoggerKindOf(ExportLayout layout) {
  switch (layout) {
    case ExportLayout::LubeLoggerGas: return LubeLoggerKind::Gas;
    case ExportLayout::LubeLoggerService: return LubeLoggerKind::Service;
    case ExportLayout::LubeLoggerTax: return LubeLoggerKind::Tax;
    case ExportLayout::Generic:
    case ExportLayout::Fuelio: break;
  }
  return std::nullopt;
}

std::string CsvText(std::span<const CsvRow> rows, bool quoteEvery) {
  std::ostringstream text;
  TCsvWriter writer(text, quoteEvery);
  for (const CsvRow& row : rows) writer.WriteLine(std::span<const std::string>(row));
  return text.str();
}

std::string ExpenseFileText(std::span<const ExpenseRecord> records, ExportLayout layout) {
  switch (layout) {
    case ExportLayout::Generic:
      return GenericText(records);
    case ExportLayout::Fuelio:
      return CsvText(WriteFuelioBackup(records), true);
    case ExportLayout::LubeLoggerGas:
    case ExportLayout::LubeLoggerService:
    case ExportLayout::LubeLoggerTax:
      break;
  }
  const LubeLoggerFiles files = WriteLubeLogger(records);
  switch (*LubeLoggerKindOf(layout)) {
    case LubeLoggerKind::Gas: return CsvText(files.Gas, false);
    case LubeLoggerKind::Service: return CsvText(files.Service, false);
    case LubeLoggerKind::Tax: break;
  }
  return CsvText(files.Tax, false);
}

}  // namespace qdx::interchange
