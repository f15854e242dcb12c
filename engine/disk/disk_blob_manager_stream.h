// TQDXBlobValueStream: the stream over one BLOB field's value that the disk BLOB manager hands a
// cursor. It owns a compressed BLOB stream over a TQDXBlobFormStream of its own, which holds the
// value's compressed form from position 0; reads, writes and seeks go to the compressed stream.
//
// TQDXBlobFormStream reads a stored value's compressed form where the cache entry keeps it,
// without a copy (the entry's bytes never change while it is listed, and the stream shares their
// ownership, so releasing the entry cannot pull them away); the first change copies the form
// into a temporary stream of its own. A new value starts in that temporary stream.
//
// The modified flag says whether the value was written to (a write that took at least one byte,
// a SetSize that reached the size asked for); only then does CloseBlob keep the content as the
// field's new value. The cursor's own BLOB stream may wrap this one and set the flag as well.
//
// Not safe for concurrent use.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/foundation/compression/compressed_blob_stream.h"
#include "engine/foundation/temporary_stream.h"

namespace qdx {

class TQDXBlobFormStream : public TQDXStream {
 public:
  // An empty form in a temporary stream (kept in memory with `keepInMemory`).
  explicit TQDXBlobFormStream(bool keepInMemory);
  // The shared bytes of a stored form, read in place until the first change.
  TQDXBlobFormStream(std::shared_ptr<const std::vector<uint8_t>> form, bool keepInMemory);

  void SetSize(int32_t newSize) override { Own().SetSize(newSize); }
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override { return Own().Write(buffer, count); }
  int32_t Seek(int32_t offset, uint16_t origin) override;
  int32_t Size() override;

  // Whether the bytes are still the shared ones.
  bool Shared() const { return own_ == nullptr; }
  // All the bytes where they lie in memory, when they do (shared, or a temporary stream that
  // has not moved to a file); empty otherwise. Valid until the next change.
  std::span<const uint8_t> BytesInMemory();

 private:
  // The temporary stream, made on the first change from the shared bytes (position kept).
  TQDXTemporaryStream& Own();

  bool keepInMemory_;
  std::shared_ptr<const std::vector<uint8_t>> shared_;
  int32_t position_ = 0;  // while shared
  std::unique_ptr<TQDXTemporaryStream> own_;
};

class TQDXBlobValueStream : public TQDXStream {
 public:
  // Opens the value the descriptor describes in `data` (start position 0); with `isNew` an
  // empty value. Fails as TQDXCompressedBLOBStream does.
  TQDXBlobValueStream(int32_t fieldNo, std::unique_ptr<TQDXBlobFormStream> data, bool isNew,
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
  // The value's compressed form: the StoredSize bytes it takes in the form stream.
  std::vector<uint8_t> CompressedForm();

 private:
  int32_t fieldNo_;
  std::unique_ptr<TQDXBlobFormStream> data_;  // declared first: the value lives on it
  TQDXCompressedBLOBStream value_;
};

}  // namespace qdx
