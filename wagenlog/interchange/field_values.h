// Turning the text of one cell into one field of an expense record, as every layout does it:
// dates through the column's date reader, numbers with the file's decimal separator, texts from
// UTF-8 to the table's Windows-1252 within 30 characters, the category as one of the five texts.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "wagenlog/interchange/date_pattern.h"
#include "wagenlog/interchange/expense_record.h"

namespace qdx::interchange {

struct ValueFormats {
  DateColumnReader Dates;
  char DecimalSeparator = '.';
  // Layouts of other programs carry longer texts (station names, cost titles); they are cut to
  // the field's 30 characters instead of refusing the line.
  bool CutLongTexts = false;
};

// Sets `field` of `record` from `text`; an empty (or blank) text leaves the field null. Answers
// the reason when the text does not fit, with the record unchanged.
std::optional<std::string> SetExpenseField(ExpenseRecord& record, ExpenseField field,
                                           std::string_view text, const ValueFormats& formats);

// Every field but the date and the amount may stay null; this answers the reason when a record
// lacks one of those two, or none.
std::optional<std::string> MissingRequiredField(const ExpenseRecord& record);

}  // namespace qdx::interchange
