#include "engine/disk/table_header_format.h"

#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"

namespace qdx {

namespace {

constexpr int64_t kStampAndCountSize = 8;

}  // namespace

std::vector<uint8_t> EncodeTableHeader(const TQDXBaseFieldManager& fields,
                                       const TQDXTableHeader& header) {
  const int64_t bufferSize = TableHeaderBufferSize(fields.FieldDefs().Count());
  const int64_t size = fields.AutoincStateSize() + kStampAndCountSize;
  if (size > bufferSize) Raise(msg::kInvalidTableHeaderData);

  std::vector<uint8_t> content(static_cast<size_t>(size));
  int32_t position = 0;
  fields.SaveAutoincState(content, position);
  ByteWriter writer(content);
  writer.Seek(static_cast<size_t>(position));
  writer.I32(header.ChangeStamp);
  writer.I32(static_cast<int32_t>(header.RecordCount));
  return content;
}

TQDXTableHeader DecodeTableHeader(std::span<const uint8_t> content, TQDXBaseFieldManager& fields) {
  if (content.size() < 4) Raise(msg::kInvalidTableHeaderData);
  const int64_t counters = le::Load<int32_t>(content.data());
  if (counters < 0 ||
      4 + counters * 8 + kStampAndCountSize > static_cast<int64_t>(content.size())) {
    Raise(msg::kInvalidTableHeaderData);
  }
  int32_t position = 0;
  fields.LoadAutoincState(content, position);
  ByteReader reader(content);
  reader.Seek(static_cast<size_t>(position));
  TQDXTableHeader header;
  header.ChangeStamp = reader.I32();
  header.RecordCount = reader.I32();
  return header;
}

}  // namespace qdx
