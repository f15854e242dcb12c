// TQDXLocalBLOBStream: the stream a local cursor hands out for one BLOB field of its current
// record buffer.
//
// It owns the stream the table data opened over the field's value (the value in its compressed
// form, over a temporary stream) and passes reads and seeks through; writes and size changes
// pass through in the writable modes and fail in read mode. The cursor keeps the stream in its
// list until CloseBlob: then the table data takes the written content of a writable stream as
// the buffer's value of the field. The modified flag says whether anything was written; the
// dataset layer's own BLOB stream reads it to mark the field changed.
//
// Not safe for concurrent use; used under its cursor.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/foundation/stream.h"

namespace qdx {

class TQDXCursor;

class TQDXLocalBLOBStream : public TQDXStream {
 public:
  // `mode`: 0 write a new value, 1 read, 2 read and write. `fieldNo` is the visible field.
  TQDXLocalBLOBStream(std::unique_ptr<TQDXStream> wrapped, int32_t fieldNo, int32_t mode,
                      TQDXCursor& cursor);

  // Read mode: 10116 "Cannot write to read only stream". Sets Modified when the stream ends at
  // the size asked for.
  void SetSize(int32_t newSize) override;
  int32_t Read(void* buffer, int32_t count) override { return wrapped_->Read(buffer, count); }
  // Read mode: 10115 "Cannot write to read only stream". Sets Modified when a byte was taken.
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t Seek(int32_t offset, uint16_t origin) override { return wrapped_->Seek(offset, origin); }
  int32_t Size() override { return wrapped_->Size(); }

  // The stream the table data made; CloseBlob hands it back to the table data.
  TQDXStream& Wrapped() const { return *wrapped_; }
  int32_t FieldNo() const { return fieldNo_; }
  int32_t Mode() const { return mode_; }
  bool IsWritable() const { return mode_ != 1; }
  TQDXCursor& Cursor() const { return *cursor_; }

  // Something was written (cleared when the stream is made).
  bool Modified = false;

 private:
  std::unique_ptr<TQDXStream> wrapped_;
  int32_t fieldNo_;
  int32_t mode_;
  TQDXCursor* cursor_;
};

}  // namespace qdx
