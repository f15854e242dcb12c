#include "engine/disk/disk_blob_manager_stream.h"

#include <algorithm>
#include <cstring>

#include "engine/foundation/constants.h"
#include "engine/foundation/messages.h"

namespace qdx {

// ---- TQDXBlobFormStream -----------------------------------------------------------------------

TQDXBlobFormStream::TQDXBlobFormStream(bool keepInMemory)
    : keepInMemory_(keepInMemory), own_(std::make_unique<TQDXTemporaryStream>(keepInMemory)) {
  SetBlockSize(own_->BlockSize());
}

TQDXBlobFormStream::TQDXBlobFormStream(std::shared_ptr<const std::vector<uint8_t>> form,
                                       bool keepInMemory)
    : keepInMemory_(keepInMemory), shared_(std::move(form)) {
  SetBlockSize(kTemporaryStreamBlockSize);
}

int32_t TQDXBlobFormStream::Size() {
  return own_ ? own_->Size() : static_cast<int32_t>(shared_->size());
}

int32_t TQDXBlobFormStream::Read(void* buffer, int32_t count) {
  if (own_) return own_->Read(buffer, count);
  const auto size = static_cast<int32_t>(shared_->size());
  if (count <= 0 || position_ < 0 || position_ >= size) return 0;
  const int32_t n = std::min(count, size - position_);
  std::memcpy(buffer, shared_->data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int32_t TQDXBlobFormStream::Seek(int32_t offset, uint16_t origin) {
  if (own_) return own_->Seek(offset, origin);
  position_ = SeekTarget32(position_, static_cast<int32_t>(shared_->size()), offset, origin);
  return position_;
}

std::span<const uint8_t> TQDXBlobFormStream::BytesInMemory() {
  if (!own_) return *shared_;
  const uint8_t* data = own_->MemoryData();
  if (data == nullptr) return {};
  return {data, static_cast<size_t>(own_->Size())};
}

TQDXTemporaryStream& TQDXBlobFormStream::Own() {
  if (own_) return *own_;
  auto own = std::make_unique<TQDXTemporaryStream>(keepInMemory_);
  if (!shared_->empty()) {
    CheckedWrite(shared_->data(), static_cast<int32_t>(shared_->size()), *own,
                 msg::kWriteBlobValueForm);
  }
  own->SetPosition(position_);
  own_ = std::move(own);
  shared_.reset();
  return *own_;
}

// ---- TQDXBlobValueStream ----------------------------------------------------------------------

TQDXBlobValueStream::TQDXBlobValueStream(int32_t fieldNo, std::unique_ptr<TQDXBlobFormStream> data,
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
  // In memory the form is copied once, without zero-filling the result first.
  const std::span<const uint8_t> inMemory = data_->BytesInMemory();
  if (size >= 0 && static_cast<size_t>(size) <= inMemory.size()) {
    return {inMemory.begin(), inMemory.begin() + static_cast<std::ptrdiff_t>(size)};
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (size == 0) return bytes;
  const int32_t position = data_->Position();
  CheckedSeek(*data_, msg::kSeekBlobValueForm, 0);
  CheckedRead(bytes.data(), static_cast<int32_t>(size), *data_, msg::kReadBlobValueForm);
  data_->SetPosition(position);
  return bytes;
}

}  // namespace qdx
