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

// Releases the unused pages at the end of the file (opened exclusively). Refuses a file that
// needs repair: its header cannot be trusted to say which pages are in use.
CompactResult CompactDatabase(const std::string& fileName, const std::string& password);
void PrintCompact(const CompactResult& result, std::ostream& out);

}  // namespace qdx::tools
