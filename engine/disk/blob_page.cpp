#include "engine/disk/blob_page.h"

#include <bitset>
#include <cstring>

#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"

namespace qdx {

namespace {

constexpr int32_t kHeaderSize = TQDXBlobValueHeader::kSize;
constexpr int32_t kDataLengthOffset = 6;

}  // namespace

int16_t NextBlobID(int16_t id) {
  if (id == -2) return 0;
  return static_cast<int16_t>(static_cast<uint16_t>(id) + 1);
}

void TQDXSmallBlobPage::RaiseDamaged(int32_t entryNo, int64_t offset) const {
  const int32_t count = data_.size() < 2 ? 0 : le::Load<uint16_t>(data_.data());
  Raise(msg::kDamagedBlobPage, {count, entryNo, offset, DataSize()});
}

int32_t TQDXSmallBlobPage::EntryCount() const {
  if (data_.size() < kBlobPageEntriesOffset) RaiseDamaged(0, 0);
  const int32_t count = le::Load<uint16_t>(data_.data());
  // Every entry takes at least its header: a larger count cannot be sound.
  if (kBlobPageEntriesOffset + static_cast<int64_t>(count) * kHeaderSize > DataSize()) {
    RaiseDamaged(count, kBlobPageEntriesOffset);
  }
  return count;
}

void TQDXSmallBlobPage::SetEntryCount(int32_t count) {
  le::Store(data_.data(), static_cast<uint16_t>(count));
}

int32_t TQDXSmallBlobPage::StepOver(int32_t entryNo, int32_t offset) const {
  const int64_t room = static_cast<int64_t>(DataSize()) - offset - kHeaderSize;
  if (room < 0) RaiseDamaged(entryNo, offset);
  const int64_t length = le::Load<int64_t>(data_.data() + offset + kDataLengthOffset);
  if (length < 0 || length > room) RaiseDamaged(entryNo, offset);
  return static_cast<int32_t>(offset + kHeaderSize + length);
}

int32_t TQDXSmallBlobPage::EntryOffset(int32_t index) const {
  const int32_t count = EntryCount();
  if (index < 0 || index > count) RaiseBufferSizeExceeded();
  int32_t offset = kBlobPageEntriesOffset;
  for (int32_t i = 0; i < index; ++i) offset = StepOver(i, offset);
  return offset;
}

TQDXBlobValueHeader TQDXSmallBlobPage::EntryHeader(int32_t index) const {
  if (index >= EntryCount()) RaiseBufferSizeExceeded();
  const int32_t offset = EntryOffset(index);
  StepOver(index, offset);
  return TQDXBlobValueHeader::Decode(data_.subspan(static_cast<size_t>(offset)));
}

std::optional<TQDXSmallBlobPage::Position> TQDXSmallBlobPage::Locate(int16_t blobID) const {
  const int32_t count = EntryCount();
  int32_t offset = kBlobPageEntriesOffset;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t next = StepOver(i, offset);
    if (le::Load<int16_t>(data_.data() + offset) == blobID) return Position{i, offset};
    offset = next;
  }
  return std::nullopt;
}

int32_t TQDXSmallBlobPage::FindEntry(int16_t blobID) const {
  const std::optional<Position> found = Locate(blobID);
  return found ? found->Index : -1;
}

std::optional<TQDXSmallBlobPage::Entry> TQDXSmallBlobPage::ReadEntry(int16_t blobID) const {
  const std::optional<Position> found = Locate(blobID);
  if (!found) return std::nullopt;
  const auto offset = static_cast<size_t>(found->Offset);
  Entry entry{TQDXBlobValueHeader::Decode(data_.subspan(offset)), {}};
  entry.Data = data_.subspan(offset + kHeaderSize, static_cast<size_t>(entry.Header.DataLength));
  return entry;
}

int16_t TQDXSmallBlobPage::NewID() const {
  const int32_t count = EntryCount();
  std::bitset<65536> taken;
  int32_t offset = kBlobPageEntriesOffset;
  for (int32_t i = 0; i < count; ++i) {
    taken.set(le::Load<uint16_t>(data_.data() + offset));
    offset = StepOver(i, offset);
  }
  // A sound page has far fewer entries than IDs, so a free one comes long before a wrap.
  for (auto id = static_cast<int16_t>(count);; id = NextBlobID(id)) {
    if (id == kLargeBlobID) Raise(msg::kInvalidBlobFieldID);
    if (id != kAmbiguousBlobID && !taken.test(static_cast<uint16_t>(id))) return id;
  }
}

int16_t TQDXSmallBlobPage::AddEntry(int32_t uncompressedSize, int64_t storedSize,
                                    std::span<const uint8_t> data, int32_t roomInIndex) {
  const int32_t count = EntryCount();
  const int32_t end = EntriesEnd();
  const int64_t needed = BlobEntrySize(static_cast<int64_t>(data.size()));
  if (end + needed > DataSize()) {
    Raise(msg::kBlobPageFull, {count, end, needed, DataSize(), roomInIndex});
  }
  TQDXBlobValueHeader header;
  header.BlobID = NewID();
  header.UncompressedSize = uncompressedSize;
  header.DataLength = static_cast<int64_t>(data.size());
  header.StoredSize = storedSize;
  header.Encode(data_.subspan(static_cast<size_t>(end)));
  ByteWriter writer(data_);
  writer.Seek(static_cast<size_t>(end + kHeaderSize));
  writer.Bytes(data);
  SetEntryCount(count + 1);
  return header.BlobID;
}

int32_t TQDXSmallBlobPage::RemoveEntry(int16_t blobID) {
  const std::optional<Position> found = Locate(blobID);
  if (!found) Raise(msg::kCannotFindBlobField);
  const int32_t count = EntryCount();
  const int32_t next = StepOver(found->Index, found->Offset);
  int32_t end = next;
  for (int32_t i = found->Index + 1; i < count; ++i) end = StepOver(i, end);

  const int32_t size = next - found->Offset;
  uint8_t* base = data_.data();
  std::memmove(base + found->Offset, base + next, static_cast<size_t>(end - next));
  std::memset(base + end - size, 0, static_cast<size_t>(size));
  SetEntryCount(count - 1);
  return size;
}

}  // namespace qdx
