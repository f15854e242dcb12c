#include "wagenlog/interchange/column_mapping.h"

#include "wagenlog/interchange/interchange_error.h"
#include "wagenlog/interchange/interchange_messages.h"
#include "wagenlog/interchange/text_encoding.h"
#include "engine/foundation/format.h"

namespace qdx::interchange {
namespace {

[[noreturn]] void Fail(const char* format, FormatArgs args) {
  throw EInterchangeError(
      FormatOrFallback(format, std::span<const FormatArg>(args.begin(), args.size())));
}

std::optional<size_t> FindColumn(const std::vector<std::string>& header, std::string_view name) {
  for (size_t i = 0; i < header.size(); ++i) {
    if (EqualsNoCase(TrimBlanks(header[i]), TrimBlanks(name))) return i;
  }
  return std::nullopt;
}

std::vector<std::string_view> SplitEntries(std::string_view text) {
  std::vector<std::string_view> entries;
  while (!text.empty()) {
    const size_t comma = text.find(',');
    const std::string_view entry = TrimBlanks(text.substr(0, comma));
    if (!entry.empty()) entries.push_back(entry);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return entries;
}

}  // namespace

ColumnMapping ColumnMapping::Build(const std::vector<std::string>& header,
                                   std::string_view mapOption) {
  ColumnMapping mapping;
  std::array<bool, kExpenseFieldCount> mapped{};
  std::vector<bool> taken(header.size(), false);
  for (std::string_view entry : SplitEntries(mapOption)) {
    const size_t equals = entry.find('=');
    if (equals == std::string_view::npos) Fail(kMapEntryBad, {entry});
    std::string_view left = TrimBlanks(entry.substr(0, equals));
    std::string_view right = TrimBlanks(entry.substr(equals + 1));
    auto field = ExpenseFieldByName(left);
    if (!field) {
      field = ExpenseFieldByName(right);
      std::swap(left, right);
    }
    if (!field) Fail(kMapFieldUnknown, {entry});
    const size_t index = static_cast<size_t>(*field);
    if (mapped[index]) Fail(kMapFieldTwice, {ExpenseFieldName(*field)});
    const auto column = FindColumn(header, right);
    if (!column) Fail(kMapColumnUnknown, {right});
    mapped[index] = true;
    mapping.columns_[index] = *column;
    taken[*column] = true;
  }
  for (size_t i = 0; i < header.size(); ++i) {
    if (taken[i]) continue;
    const auto field = ExpenseFieldByName(TrimBlanks(header[i]));
    if (field && !mapped[static_cast<size_t>(*field)] &&
        !mapping.columns_[static_cast<size_t>(*field)]) {
      mapping.columns_[static_cast<size_t>(*field)] = i;
      taken[i] = true;
    }
  }
  for (ExpenseField required : {ExpenseField::Datum, ExpenseField::bedrag}) {
    if (!mapping.ColumnOf(required)) Fail(kColumnMissing, {ExpenseFieldName(required)});
  }
  for (size_t i = 0; i < header.size(); ++i) {
    if (!taken[i]) mapping.unused_.push_back(header[i]);
  }
  return mapping;
}

}  // namespace qdx::interchange
