#include "engine/disk/disk_blob_manager_stream.h"

#include "engine/foundation/messages.h"

namespace qdx {

TQDXBlobValueStream::TQDXBlobValueStream(int32_t fieldNo, std::unique_ptr<TQDXTemporaryStream> data,
                                         bool isNew,
                                         const TQDXCompressedStreamDescriptor& descriptor)
    : fieldNo_(fieldNo),
      data_(std::move(data)),
      value_(*data_, /*lenient=*/false, isNew, descriptor) {
  SetBlockSize(data_->BlockSize());
}

void TQDXBlobValueStream::SetSize(int32_t newSize) {
  value_.SetSize(newSize);
  if (value_.Size() == newSize) Modified = true;
}

int32_t TQDXBlobValueStream::Write(const void* buffer, int32_t count) {
  const int32_t written = value_.Write(buffer, count);
  if (written > 0) Modified = true;
  return written;
}

std::vector<uint8_t> TQDXBlobValueStream::CompressedForm() {
  const int64_t size = value_.StoredSize();
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (size == 0) return bytes;
  const int32_t position = data_->Position();
  CheckedSeek(*data_, msg::kSeekBlobValueForm, 0);
  CheckedRead(bytes.data(), static_cast<int32_t>(size), *data_, msg::kReadBlobValueForm);
  data_->SetPosition(position);
  return bytes;
}

}  // namespace qdx
