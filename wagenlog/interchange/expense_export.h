// Expense records written as the files other programs read: the generic CSV of the table's
// fields (what `qdx export` writes for the table, and what the generic import reads back), the
// Fuelio backup, and the LubeLogger exports, one file per kind of record. The layouts' own files
// say how records map to their rows; this unit turns the rows into CSV text.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "wagenlog/interchange/csv_reader.h"
#include "wagenlog/interchange/expense_record.h"
#include "wagenlog/interchange/lubelogger_layout.h"

namespace qdx::interchange {

enum class ExportLayout : uint8_t { Generic, Fuelio, LubeLoggerGas, LubeLoggerService, LubeLoggerTax };

// The layout a --format name selects ("generic", "csv", "fuelio", "lubelogger-gas", ...; any
// case); none for another name. "lubelogger" alone names the three files together and is not
// one layout.
std::optional<ExportLayout> ExportLayoutByName(std::string_view name);

// The LubeLogger kind a layout writes.
std::optional<LubeLoggerKind> LubeLoggerKindOf(ExportLayout layout);

// The CSV text of rows, lines ending in CRLF; `quoteEvery` quotes every cell (as Fuelio does).
std::string CsvText(std::span<const CsvRow> rows, bool quoteEvery);

// The file of a layout.
std::string ExpenseFileText(std::span<const ExpenseRecord> records, ExportLayout layout);

}  // namespace qdx::interchange
