// Copying a table's structure and records from one engine session into another, the way a
// rebuild copies every table of a damaged file into a new one.
//
// The target table is created from the source's stored definitions (fields, the indexes that
// are not temporary, constraints) and filled record by record through engine cursors. A field
// value that cannot be copied is left NULL, and a record that cannot be stored is skipped; each
// such problem is noted in the error text, followed by a line break, so that a rebuild can save
// everything that is still readable and say what it lost. A copy stopped through the progress
// callback notes "Terminated by User.".
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace qdx {

class TQDXLocalCursor;
class TQDXLocalSession;
class TQDXIndexDefs;

// Progress of one table in percent (0 to 100); answers false to stop the copy.
using TQDXCopyProgress = std::function<bool(int percent)>;

struct TQDXTableCopyResult {
  // The problems met, each text followed by a line break.
  std::string Errors;
  int64_t RecordsCopied = 0;
  // Records that could not be read from the source or were refused by the target.
  int64_t RecordsSkipped = 0;
  bool Stopped = false;
};

// Copies `tableName` of `source` into `target` (which must not hold a table of that name
// afterwards needed: an existing one is replaced). With `repairMode` the source table is opened
// through the disk engine's repair check. Engine errors of opening the source or creating the
// target are raised.
TQDXTableCopyResult CopyTable(TQDXLocalSession& source, std::string_view tableName,
                              TQDXLocalSession& target, bool repairMode,
                              const TQDXCopyProgress& progress = {});

// A field copied from the source record (table field number) into the target's.
struct TQDXFieldPair {
  int32_t Source;
  int32_t Target;
};

// Copies every record `from` sees into `to`, field by field as `fields` pairs them (both
// cursors open, their definitions read). Records go to the target in batches; a record that
// cannot be read or stored is skipped and noted, and the copy goes on with the next one.
TQDXTableCopyResult CopyRecords(TQDXLocalCursor& from, TQDXLocalCursor& to,
                                std::span<const TQDXFieldPair> fields, std::string_view tableName,
                                const TQDXCopyProgress& progress = {});

// Copies the index definitions for another table: temporary ones, and those whose upper-cased
// name contains "TEMPORARY", are left out.
void CopyIndexDefsForTable(const TQDXIndexDefs& source, TQDXIndexDefs& target);

}  // namespace qdx
