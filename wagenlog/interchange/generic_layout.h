// The generic layout: a spreadsheet's CSV with a header line, one expense per line, columns fed
// to fields by name or by --map.
#pragma once

#include "wagenlog/interchange/csv_reader.h"
#include "wagenlog/interchange/read_options.h"

namespace qdx::interchange {

// Throws EInterchangeError when the file has no header or the mapping cannot be made.
LayoutResult ReadGenericExpenses(const CsvDocument& document, const ReadOptions& options);

}  // namespace qdx::interchange
