// The engine's expressions: filter texts, Locate conditions and default-value expressions.
//
// CompileFilterExpression is the TQDXFilterCompiler the cursor hands filter texts to; the
// resulting TQDXFilterExpression answers for record buffers (three-valued: NULL compares as
// unknown, and unknown does not pass) and lists the simple conditions on single fields that
// the table data may walk an index for. BuildLocateExpression makes Locate's condition from
// field names and values without a text. RegisterExpressionDefaults plugs default-value
// expressions such as CURRENT_DATE into the field definitions.
//
// Filter texts (grammar in parser.cpp): comparisons = <> < > <= >=, AND, OR, NOT, parentheses,
// LIKE with % and _ (and ESCAPE), IS [NOT] NULL, IN (...), BETWEEN ... AND ..., + - * /,
// 'texts' ('' inside for a quote), numbers, TRUE, FALSE, NULL, field names bare, in "double
// quotes" or [brackets] (ignoring case), UPPER, LOWER, TRIM, SUBSTRING, CURRENT_DATE,
// CURRENT_TIME and CURRENT_TIMESTAMP. A text compared with a date field is read as a date
// ('2024-03-01' or the user's short date form). Under partial compare (the dataset's default)
// a text ending in "*" compared with = matches values that begin with the text before the "*".
//
// Compiling is safe for concurrent use; a compiled expression is used by one thread at a time.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/field_def.h"
#include "engine/core/filter_expression.h"
#include "engine/foundation/platform/clock.h"

namespace qdx {

// Compiles a filter text against the fields (with their offsets computed). A bad text raises
// EQDXException 30600..30607 naming the position and what was expected.
std::unique_ptr<TQDXFilterExpression> CompileFilterExpression(std::string_view text,
                                                              const TQDXFieldDefs& fields,
                                                              const TQDXFilterOptions& options);

// The field names of Locate's key field text: split at each ";", trimmed, upper-cased.
std::vector<std::string> SplitLocateFieldNames(std::string_view keyFields);

// Locate's condition: the conjunction of `name = value` for each name and value, comparing text
// ignoring case with `caseInsensitive` and, with `partial`, matching a text field whose value
// begins with the given text. A null value matches a NULL field. Unequal counts fail with 30112,
// an unknown name with 30608.
std::unique_ptr<TQDXFilterExpression> BuildLocateExpression(std::span<const std::string> names,
                                                            std::span<const TQDXVariant> values,
                                                            const TQDXFieldDefs& fields,
                                                            bool caseInsensitive, bool partial);

// The default-value expression of a text default, or none: a text is an expression when it
// parses, refers to no field and calls a function (CURRENT_DATE, UPPER('x') ...). Any other
// text, "2024-03-01" or "1+1" among them, stays a plain value that the field converts.
std::unique_ptr<TQDXDefaultExpression> ParseDefaultExpression(const TQDXVariant& defaultValue);
// Registers ParseDefaultExpression with the field definitions; the program calls it at
// start-up, before any table is opened.
void RegisterExpressionDefaults();

// The clock CURRENT_DATE, CURRENT_TIME and CURRENT_TIMESTAMP read; none restores the platform's.
// For tests; not safe to change while expressions are evaluated.
using TQDXExpressionClock = platform::LocalTime (*)();
void SetExpressionClock(TQDXExpressionClock clock);

}  // namespace qdx
