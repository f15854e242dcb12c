// Dates in CSV files: patterns such as "yyyy-MM-dd" or "dd/MM/yyyy", and the choice of one
// pattern for a whole column.
//
// A pattern is made of d or dd (day), M or MM (month), yy or yyyy (year) and literal characters.
// Reading is strict about the literals and the year's digits but takes one or two digits for
// the day and month whatever their letters, since spreadsheets drop leading zeros. A time of day
// after the date ("2024-03-10 16:01", "2024-03-10T16:01:00") is allowed and ignored: the table
// keeps dates only. A two-digit year lies within 50 years ahead of the pivot year (this year),
// else in the century before.
//
// A DateColumnReader picks, among its candidate patterns, the first that reads every value of
// the column, so a file is read with one pattern throughout and "03/04/2024" never means March
// on one line and April on the next.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/foundation/platform/locale.h"

namespace qdx::interchange {

class DatePattern {
 public:
  // None for a pattern without exactly one day, month and year part, or with a part the reader
  // does not know (ddd, MMM, yyy).
  static std::optional<DatePattern> Parse(std::string_view pattern);
  // The user's short date pattern (the platform's FormatSettings::ShortDateFormat).
  static std::optional<DatePattern> FromShortDateFormat(std::u16string_view pattern);

  static DatePattern Iso();  // yyyy-MM-dd

  // Reads all of `text` (blanks around it ignored) as a date; false when it is none.
  bool Read(std::string_view text, int32_t pivotYear, int32_t& dayNumber) const;
  std::string Format(int32_t dayNumber) const;
  const std::string& Text() const { return text_; }

 private:
  enum class Kind : uint8_t { Day, Month, Year, Literal };
  struct Part {
    Kind kind;
    uint8_t width;  // letters of a day, month or year part
    char literal;
  };
  DatePattern(std::string text, std::vector<Part> parts)
      : text_(std::move(text)), parts_(std::move(parts)) {}

  std::string text_;
  std::vector<Part> parts_;
};

class DateColumnReader {
 public:
  // One fixed pattern (the user gave --date-format).
  explicit DateColumnReader(DatePattern pattern, int32_t pivotYear);
  // ISO, dd-MM-yyyy, dd/MM/yyyy and then the user's short date pattern, in that order.
  static DateColumnReader Automatic(const platform::FormatSettings& formats, int32_t pivotYear);

  // Settles on the first candidate that reads every non-empty value; when none does, on the one
  // that reads the most.
  void ChooseFor(std::span<const std::string_view> values);

  bool Read(std::string_view text, int32_t& dayNumber) const;
  // The pattern in use, for messages.
  const DatePattern& Chosen() const { return candidates_[chosen_]; }

 private:
  DateColumnReader(std::vector<DatePattern> candidates, int32_t pivotYear)
      : candidates_(std::move(candidates)), pivotYear_(pivotYear) {}

  std::vector<DatePattern> candidates_;
  size_t chosen_ = 0;
  int32_t pivotYear_;
};

// This year, the pivot for two-digit years.
int32_t CurrentYear();

}  // namespace qdx::interchange
