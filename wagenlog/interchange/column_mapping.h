// Which column of a spreadsheet's CSV feeds which field of the expense table.
//
// A column whose header is a field's name (without regard to case: "datum", "KMSTAND") feeds that
// field. The user's --map "FIELD=COLUMN,..." names others ("Datum=Date,bedrag=Total Cost"; the
// field may stand on either side) and overrides the names. The date and the amount must have a
// column; other fields without one stay null.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "wagenlog/interchange/expense_record.h"

namespace qdx::interchange {

class ColumnMapping {
 public:
  // Throws EInterchangeError for a --map that names no field, a column the header lacks or one
  // field twice, and when the date or amount has no column.
  static ColumnMapping Build(const std::vector<std::string>& header, std::string_view mapOption);

  std::optional<size_t> ColumnOf(ExpenseField field) const {
    return columns_[static_cast<size_t>(field)];
  }
  // Header names that feed no field, for the dry run's summary.
  const std::vector<std::string>& UnusedColumns() const { return unused_; }

 private:
  std::array<std::optional<size_t>, kExpenseFieldCount> columns_{};
  std::vector<std::string> unused_;
};

}  // namespace qdx::interchange
