// Texts of the dataset layer that carry no native code: the dataset framework's own errors and
// the table dataset's errors that the framework raises as EDatabaseError. Those with a native
// code live in the engine's catalogue (engine/foundation/messages.h).
//
// A text that names a component is raised through DatabaseError(text, componentName), which puts
// the component's name, a colon and a blank first.
#pragma once

#include <string>
#include <string_view>

#include "engine/foundation/format.h"

namespace qdx::dsmsg {

// A text with its arguments (the bare format and " Arguments are invalid!" when they do not fit).
inline std::string Format(std::string_view format, FormatArgs args) {
  return FormatOrFallback(format, {args.begin(), args.size()});
}

// ---- Dataset state ----
inline constexpr const char* kDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* kDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* kDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* kDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* kNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* kRecordNotFound = "Record not found";
inline constexpr const char* kCircularDataLink = "Circular datalinks are not allowed";

// ---- Fields ----
inline constexpr const char* kFieldNotFound = "Field '%s' not found";
inline constexpr const char* kDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* kFieldRequired = "Field '%s' must have a value";
inline constexpr const char* kFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* kFieldTypeMismatch = "Type mismatch for field '%s'";
inline constexpr const char* kFieldAccessAs = "Cannot access field '%s' as type %s";
inline constexpr const char* kFieldRangeError = "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char* kInvalidIntegerValue = "'%s' is not a valid integer value for field '%s'";
inline constexpr const char* kInvalidFloatValue = "'%s' is not a valid floating point value for field '%s'";
inline constexpr const char* kInvalidDateValue = "'%s' is not a valid date";
inline constexpr const char* kInvalidTimeValue = "'%s' is not a valid time";
inline constexpr const char* kInvalidDateTimeValue = "'%s' is not a valid date and time";
inline constexpr const char* kInvalidBooleanValue = "'%s' is not a valid boolean value for field '%s'";
inline constexpr const char* kFieldIndexOutOfRange = "Field index out of range";
inline constexpr const char* kIndexFieldNotInDataSet = "Cannot access index field '%s'";
inline constexpr const char* kIndexNotFound = "Index '%s' not found";
inline constexpr const char* kNoFieldsForLookup = "Lookup information for field '%s' is incomplete";
inline constexpr const char* kFieldCountMismatch = "Count of field names (%d) not equal to count of values (%d)";

// ---- Table dataset ----
inline constexpr const char* kDatabaseNameBlank = "DatabaseName property is blank";
inline constexpr const char* kTableNameMissing = "Missing TableName property";
inline constexpr const char* kDatabaseOpen = "Cannot perform this operation on an open database";

}  // namespace qdx::dsmsg
