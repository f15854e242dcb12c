#include "engine/disk/table_metadata_format.h"

#include "engine/foundation/messages.h"

namespace qdx {

void WriteTableMetadata(TStream& stream, const TQDXBaseFieldManager& fields,
                        const TQDXIndexDefs& indexes, const TQDXConstraintDefs& constraints,
                        TQDXTableMetadataPages pages) {
  fields.SaveDefinitions(stream);
  indexes.SaveToStream(stream);
  constraints.SaveToStream(stream);
  CheckedWriteValue<int32_t>(stream, pages.RecordPageIndexFirstPage, msg::kWriteMetadataPageNo);
  CheckedWriteValue<int32_t>(stream, pages.BlobPageIndexFirstPage, msg::kWriteMetadataPageNo);
}

TQDXTableMetadataPages ReadTableMetadata(TStream& stream, TQDXBaseFieldManager& fields,
                                         TQDXIndexDefs& indexes, TQDXConstraintDefs& constraints) {
  fields.LoadDefinitions(stream);
  indexes.LoadFromStream(stream);
  constraints.LoadFromStream(stream);
  TQDXTableMetadataPages pages;
  pages.RecordPageIndexFirstPage = CheckedReadValue<int32_t>(stream, msg::kReadMetadataPageNo);
  pages.BlobPageIndexFirstPage = CheckedReadValue<int32_t>(stream, msg::kReadMetadataPageNo);
  return pages;
}

}  // namespace qdx
