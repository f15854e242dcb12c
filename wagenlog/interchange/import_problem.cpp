#include "wagenlog/interchange/import_problem.h"

#include <set>

#include "engine/foundation/format.h"

namespace qdx::interchange {

std::string DescribeProblem(const ImportProblem& problem) {
  std::string text = "line " + std::to_string(problem.Line);
  if (!problem.Column.empty()) text += ", column " + PrintableText(problem.Column);
  if (!problem.Column.empty() || !problem.Value.empty()) {
    text += ", value \"" + PrintableText(problem.Value) + "\"";
  }
  return text + ": " + problem.Reason;
}

size_t CountBadLines(const std::vector<ImportProblem>& problems) {
  std::set<int32_t> lines;
  for (const ImportProblem& p : problems) lines.insert(p.Line);
  return lines.size();
}

}  // namespace qdx::interchange
