// The qdx commands that work on a database as a whole: create with the tables of a known schema,
// repair (the rebuild of the database component) and compact.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace qdx::tools {

// The file sizes around a compaction.
struct CompactResult {
  int64_t SizeBefore = 0;
  int64_t SizeAfter = 0;
};

// Creates the tables of a known schema in the (new, empty) database file: "wagenlog", the two
// tables of the car-cost program. Fails with a usage fault for an unknown schema.
void CreateSchemaTables(const std::string& fileName, const std::string& password,
                        const std::string& schema);
// Whether CreateSchemaTables knows the schema.
bool IsKnownSchema(const std::string& schema);

// Draws the progress of a repair: a bar redrawn in place on a terminal, otherwise a plain line
// at every tenth.
class RepairProgressPrinter {
 public:
  RepairProgressPrinter(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}
  void Report(int percent);
  // Ends the bar's line.
  void Finish();

 private:
  std::ostream& out_;
  bool terminal_;
  int last_ = -1;
};

// Rebuilds the database file table by table (the database component's repair). Answers the
// texts of what could not be copied (empty when everything was).
std::string RepairDatabase(const std::string& fileName, const std::string& password,
                           RepairProgressPrinter& progress);

// Releases the unused pages at the end of the file (opened exclusively). Refuses a file that
// needs repair: its header cannot be trusted to say which pages are in use.
CompactResult CompactDatabase(const std::string& fileName, const std::string& password);
void PrintCompact(const CompactResult& result, std::ostream& out);

}  // namespace qdx::tools
