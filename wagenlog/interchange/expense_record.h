// The expense record as the table Brandstofkosten holds it, the form every import produces and
// every export reads.
//
// Fields in table order: Datum (a date), Omschrijving (the category, one of the five category
// texts), Bedrijf (company or supplier, 30 characters), KMStand (odometer, 32-bit), Liters,
// bedrag (the amount, a currency value) and verbruik (km per litre, written by the statistics).
// Texts are Windows-1252 as the table stores them; an empty text and a missing number are null.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

namespace qdx::interchange {

enum class ExpenseField : uint8_t { Datum, Omschrijving, Bedrijf, KMStand, Liters, bedrag, verbruik };
inline constexpr size_t kExpenseFieldCount = 7;

// The field names as the table stores them, in table order.
inline constexpr std::array<std::string_view, kExpenseFieldCount> kExpenseFieldNames = {
    "Datum", "Omschrijving", "Bedrijf", "KMStand", "Liters", "bedrag", "verbruik"};

// The five categories, byte for byte as the statistics compare them, in the entry panel's order.
inline constexpr std::string_view kBrandstof = "Brandstof";
inline constexpr std::string_view kOnderhoud = "Onderhoud";
inline constexpr std::string_view kVerzekering = "Verzekering";
inline constexpr std::string_view kWegenbelasting = "Wegenbelasting";
inline constexpr std::string_view kAfschrijving = "Afschrijving";
inline constexpr std::array<std::string_view, 5> kExpenseCategories = {
    kBrandstof, kOnderhoud, kVerzekering, kWegenbelasting, kAfschrijving};

// Characters of the text fields Omschrijving and Bedrijf.
inline constexpr size_t kExpenseTextSize = 30;

struct ExpenseRecord {
  std::optional<int32_t> Datum;  // day number (day 1 = 0001-01-01)
  std::string Omschrijving;
  std::string Bedrijf;
  std::optional<int32_t> KMStand;
  std::optional<double> Liters;
  std::optional<double> bedrag;
  std::optional<double> verbruik;

  friend bool operator==(const ExpenseRecord&, const ExpenseRecord&) = default;
};

inline std::string_view ExpenseFieldName(ExpenseField field) {
  return kExpenseFieldNames[static_cast<size_t>(field)];
}
// The field of a name, compared without regard to ASCII case ("kmstand" is KMStand).
std::optional<ExpenseField> ExpenseFieldByName(std::string_view name);

// The category text that `text` names without regard to ASCII case; none for other texts.
std::optional<std::string_view> CategoryByName(std::string_view text);

// A currency amount as the table keeps it: rounded to four decimals.
double RoundCurrency(double amount);

// What makes two records the same expense for duplicate detection: date, category, odometer and
// the amount in ten-thousandths. Ordered, so a set of them finds a stored record quickly.
using ExpenseKey =
    std::tuple<std::optional<int32_t>, std::string, std::optional<int32_t>, std::optional<int64_t>>;
ExpenseKey DuplicateKey(const ExpenseRecord& record);

// Whether ASCII letters aside two texts are equal.
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace qdx::interchange
