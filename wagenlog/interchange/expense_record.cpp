#include "wagenlog/interchange/expense_record.h"

#include <cmath>

namespace qdx::interchange {
namespace {

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::optional<ExpenseField> ExpenseFieldByName(std::string_view name) {
  for (size_t i = 0; i < kExpenseFieldCount; ++i) {
    if (EqualsNoCase(name, kExpenseFieldNames[i])) return static_cast<ExpenseField>(i);
  }
  return std::nullopt;
}

std::optional<std::string_view> CategoryByName(std::string_view text) {
  for (std::string_view category : kExpenseCategories) {
    if (EqualsNoCase(text, category)) return category;
  }
  return std::nullopt;
}

double RoundCurrency(double amount) {
  return static_cast<double>(std::llround(amount * 10000.0)) / 10000.0;
}

ExpenseKey DuplicateKey(const ExpenseRecord& record) {
  std::optional<int64_t> amount;
  if (record.bedrag) amount = std::llround(*record.bedrag * 10000.0);
  return {record.Datum, record.Omschrijving, record.KMStand, amount};
}

}  // namespace qdx::interchange
