// The local cursor's BLOB stream: a pass-through that refuses writes in read mode.
#include "dataset/local_engine/local_blob_stream.h"

#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {

TQDXLocalBLOBStream::TQDXLocalBLOBStream(std::unique_ptr<TQDXStream> wrapped, int32_t fieldNo,
                                         int32_t mode, TQDXCursor& cursor)
    : wrapped_(std::move(wrapped)), fieldNo_(fieldNo), mode_(mode), cursor_(&cursor) {}

void TQDXLocalBLOBStream::SetSize(int32_t newSize) {
  if (!IsWritable()) Raise(msg::kResizeReadOnlyBlobStream);
  wrapped_->SetSize(newSize);
  if (wrapped_->Size() == newSize) Modified = true;
}

int32_t TQDXLocalBLOBStream::Write(const void* buffer, int32_t count) {
  if (!IsWritable()) Raise(msg::kWriteReadOnlyBlobStream);
  const int32_t written = wrapped_->Write(buffer, count);
  if (written > 0) Modified = true;
  return written;
}

}  // namespace qdx
