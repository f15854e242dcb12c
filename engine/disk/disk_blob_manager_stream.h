// TQDXBlobValueStream: the stream over one BLOB field's value that the disk BLOB manager hands a
// cursor. It owns a compressed BLOB stream over a temporary stream of its own, which holds the
// value's compressed form from position 0; reads, writes and seeks go to the compressed stream.
//
// The modified flag says whether the value was written to (a write that took at least one byte,
// a SetSize that reached the size asked for); only then does CloseBlob keep the content as the
// field's new value. The cursor's own BLOB stream may wrap this one and set the flag as well.
//
// Not safe for concurrent use.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/foundation/compression/compressed_blob_stream.h"
#include "engine/foundation/temporary_stream.h"

namespace qdx {

class TQDXBlobValueStream : public TQDXStream {
 public:
  // Opens the value the descriptor describes in `data` (start position 0); with `isNew` an
  // empty value. Fails as TQDXCompressedBLOBStream does.
  TQDXBlobValueStream(int32_t fieldNo, std::unique_ptr<TQDXTemporaryStream> data, bool isNew,
                      const TQDXCompressedStreamDescriptor& descriptor);
  TQDXBlobValueStream(const TQDXBlobValueStream&) = delete;
  TQDXBlobValueStream& operator=(const TQDXBlobValueStream&) = delete;

  void SetSize(int32_t newSize) override;
  int32_t Read(void* buffer, int32_t count) override { return value_.Read(buffer, count); }
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t Seek(int32_t offset, uint16_t origin) override { return value_.Seek(offset, origin); }
  int32_t Size() override { return value_.Size(); }

  int32_t FieldNo() const { return fieldNo_; }
  bool Modified = false;

  TQDXCompressedBLOBStream& Value() { return value_; }
  int32_t UncompressedSize() const { return static_cast<int32_t>(value_.UncompressedSize()); }
  int64_t StoredSize() const { return value_.StoredSize(); }
  // The value's compressed form: the StoredSize bytes it takes in the temporary stream.
  std::vector<uint8_t> CompressedForm();

 private:
  int32_t fieldNo_;
  std::unique_ptr<TQDXTemporaryStream> data_;  // declared first: the value lives on it
  TQDXCompressedBLOBStream value_;
};

}  // namespace qdx
