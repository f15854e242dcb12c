#include "wagenlog/interchange/field_values.h"

#include <cmath>
#include <limits>

#include "wagenlog/interchange/interchange_messages.h"
#include "wagenlog/interchange/number_text.h"
#include "wagenlog/interchange/text_encoding.h"
#include "engine/foundation/format.h"

namespace qdx::interchange {
namespace {

// The largest amount a currency value holds (64-bit count of ten-thousandths).
constexpr double kCurrencyLimit = 922'337'203'685'477.0;

std::string Formatted(const char* format, FormatArgs args) {
  return FormatOrFallback(format, std::span<const FormatArg>(args.begin(), args.size()));
}

std::optional<std::string> SetText(std::string& target, std::string_view text, bool cut) {
  if (!IsValidUtf8(text)) return std::string(kCsvNotUtf8);
  std::string_view kept = Utf8Prefix(text, kExpenseTextSize);
  if (kept.size() < text.size() && !cut) {
    return Formatted(kValueTextTooLong, {static_cast<int64_t>(kExpenseTextSize)});
  }
  if (cut) kept = TrimBlanks(kept);
  std::string ansi;
  if (!Utf8ToAnsi(kept, ansi)) return std::string(kValueNotStorable);
  target = std::move(ansi);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> SetExpenseField(ExpenseRecord& record, ExpenseField field,
                                           std::string_view text, const ValueFormats& formats) {
  text = TrimBlanks(text);
  if (text.empty()) {
    switch (field) {
      case ExpenseField::Datum: record.Datum.reset(); break;
      case ExpenseField::Omschrijving: record.Omschrijving.clear(); break;
      case ExpenseField::Bedrijf: record.Bedrijf.clear(); break;
      case ExpenseField::KMStand: record.KMStand.reset(); break;
      case ExpenseField::Liters: record.Liters.reset(); break;
      case ExpenseField::bedrag: record.bedrag.reset(); break;
      case ExpenseField::verbruik: record.verbruik.reset(); break;
    }
    return std::nullopt;
  }
  switch (field) {
    case ExpenseField::Datum: {
      int32_t day = 0;
      if (!formats.Dates.Read(text, day)) {
        return Formatted(kValueNotADate, {formats.Dates.Chosen().Text()});
      }
      record.Datum = day;
      return std::nullopt;
    }
    case ExpenseField::Omschrijving: {
      const auto category = CategoryByName(text);
      if (!category) return std::string(kValueNotACategory);
      record.Omschrijving = std::string(*category);
      return std::nullopt;
    }
    case ExpenseField::Bedrijf:
      return SetText(record.Bedrijf, text, formats.CutLongTexts);
    case ExpenseField::KMStand: {
      const auto value = ReadDecimal(text, formats.DecimalSeparator);
      if (!value) return std::string(kValueNotANumber);
      // Odometers written with a fraction ("212477.0") are taken to the nearest kilometre.
      const double rounded = std::round(*value);
      if (rounded < std::numeric_limits<int32_t>::min() ||
          rounded > std::numeric_limits<int32_t>::max()) {
        return std::string(kValueOutOfRange);
      }
      record.KMStand = static_cast<int32_t>(rounded);
      return std::nullopt;
    }
    case ExpenseField::Liters:
    case ExpenseField::verbruik: {
      const auto value = ReadDecimal(text, formats.DecimalSeparator);
      if (!value) return std::string(kValueNotANumber);
      (field == ExpenseField::Liters ? record.Liters : record.verbruik) = *value;
      return std::nullopt;
    }
    case ExpenseField::bedrag: {
      const auto value = ReadDecimal(text, formats.DecimalSeparator, /*allowCurrencySign=*/true);
      if (!value) return std::string(kValueNotANumber);
      if (std::fabs(*value) >= kCurrencyLimit) return std::string(kValueOutOfRange);
      record.bedrag = RoundCurrency(*value);
      return std::nullopt;
    }
  }
  return std::nullopt;
}

std::optional<std::string> MissingRequiredField(const ExpenseRecord& record) {
  if (!record.Datum) return Formatted(kValueMissing, {ExpenseFieldName(ExpenseField::Datum)});
  if (!record.bedrag) return Formatted(kValueMissing, {ExpenseFieldName(ExpenseField::bedrag)});
  return std::nullopt;
}

}  // namespace qdx::interchange
