// The table header of a disk table: the content of its MostUpdated file (type 9, stored plain),
// rewritten after every change of the table's records.
//
//   offset   size  content
//   0        4     N, the number of autoinc counters (int32)         } the field manager's
//   4        8N    the counters (int64), in field order              } autoinc state
//   4+8N     4     ChangeStamp (int32)
//   8+8N     4     RecordCount, its low 32 bits (int32); read back sign-extended
//
// The content is built in a buffer of (field count * 8 + 8) * 4 bytes; content that does not fit
// fails with 20164 "Invalid table header data", and so does content read back that is shorter
// than its parts. Bytes behind the RecordCount are ignored.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/core/field_manager.h"

namespace qdx {

struct TQDXTableHeader {
  int32_t ChangeStamp = 0;
  int64_t RecordCount = 0;
};

constexpr int64_t TableHeaderBufferSize(int32_t fieldCount) {
  return (static_cast<int64_t>(fieldCount) * 8 + 8) * 4;
}

// The content to store: the manager's autoinc state, then the stamp and the count.
std::vector<uint8_t> EncodeTableHeader(const TQDXBaseFieldManager& fields,
                                       const TQDXTableHeader& header);
// Loads the autoinc state into the manager and answers the stamp and the count. Content shorter
// than its parts fails with 20164 before anything changes.
TQDXTableHeader DecodeTableHeader(std::span<const uint8_t> content, TQDXBaseFieldManager& fields);

}  // namespace qdx
