// What an import could not read: one line, the column, the value and why.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qdx::interchange {

struct ImportProblem {
  int32_t Line = 0;
  std::string Column;  // the file's column name; empty when the whole line is at fault
  std::string Value;   // the text as the file holds it (UTF-8)
  std::string Reason;

  friend bool operator==(const ImportProblem&, const ImportProblem&) = default;
};

// "line 7, column Datum, value "31-02-2024": not a date in the form dd-MM-yyyy"; control
// characters of the value are escaped.
std::string DescribeProblem(const ImportProblem& problem);

// Lines with at least one problem, each counted once.
size_t CountBadLines(const std::vector<ImportProblem>& problems);

}  // namespace qdx::interchange
