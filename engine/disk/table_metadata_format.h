// The content of a disk table's metadata file (type 8): the table's definitions and the first
// pages of its two page indexes, in this order:
//
//   content                                  stored form
//   field definitions                        the field collection (field_def.h)
//   index definitions                        the index collection (table_index_def.h)
//   constraint definitions                   the constraint collection (constraint_def.h)
//   first page of the record page index      int32 (write / read code 20313 / 20314)
//   first page of the BLOB page index        int32 (the same codes)
//
// The transacted file stores the content compressed with kMetadataCompression at
// kMetadataCompressionLevel; these routines see it plain, through a stream:
//
//   TQDXMemoryStream stream;
//   WriteTableMetadata(stream, fieldManager, indexDefs, constraintDefs, pages);
//   file.WriteFile(session, stream.Memory(), kMetadataCompressionLevel, kMetadataCompression,
//                  stream.Size());
#pragma once

#include <cstdint>

#include "engine/core/constraint_def.h"
#include "engine/core/field_manager.h"
#include "engine/core/table_index_def.h"
#include "engine/foundation/compression/compression.h"
#include "engine/foundation/stream.h"

namespace qdx {

inline constexpr uint8_t kMetadataCompression = kCompressionZlib;
inline constexpr int32_t kMetadataCompressionLevel = 1;

struct TQDXTableMetadataPages {
  int32_t RecordPageIndexFirstPage = -1;
  int32_t BlobPageIndexFirstPage = -1;
};

// The fields are the manager's (SaveDefinitions); temporary indexes are not written.
void WriteTableMetadata(TStream& stream, const TQDXBaseFieldManager& fields,
                        const TQDXIndexDefs& indexes, const TQDXConstraintDefs& constraints,
                        TQDXTableMetadataPages pages);
// Reads the fields into the manager (LoadDefinitions: offsets and autoinc counters follow), the
// index and constraint collections, and answers the two first pages. A stream that ends early
// fails with the code of the item it ends in.
TQDXTableMetadataPages ReadTableMetadata(TStream& stream, TQDXBaseFieldManager& fields,
                                         TQDXIndexDefs& indexes, TQDXConstraintDefs& constraints);

}  // namespace qdx
