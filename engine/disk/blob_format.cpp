#include "engine/disk/blob_format.h"

#include <algorithm>
#include <limits>

#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"

namespace qdx {

namespace {

constexpr int32_t kListCountOffset = kBlobPageListRefOffset + 6;

[[noreturn]] void RaiseBadPageList(int64_t dataLength, int64_t pageCount, int64_t offset,
                                   int32_t pageDataSize) {
  Raise(msg::kDamagedBlobPageList, {dataLength, pageCount, offset, pageDataSize});
}

int64_t CeilDiv(int64_t a, int64_t b) {
  return (a + b - 1) / b;
}

}  // namespace

TQDXBlobRef TQDXBlobRef::Decode(std::span<const uint8_t> bytes) {
  ByteReader reader(bytes);
  TQDXBlobRef ref;
  ref.PageNo = reader.I32();
  ref.BlobID = reader.I16();
  return ref;
}

void TQDXBlobRef::Encode(std::span<uint8_t> bytes) const {
  ByteWriter writer(bytes);
  writer.I32(PageNo);
  writer.I16(BlobID);
}

TQDXBlobValueHeader TQDXBlobValueHeader::Decode(std::span<const uint8_t> bytes) {
  ByteReader reader(bytes);
  TQDXBlobValueHeader header;
  header.BlobID = reader.I16();
  header.UncompressedSize = reader.I32();
  header.DataLength = reader.I64();
  const uint32_t low = reader.U32();
  const int32_t high = reader.I32();
  header.StoredSize =
      static_cast<int64_t>(static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32 | low);
  return header;
}

void TQDXBlobValueHeader::Encode(std::span<uint8_t> bytes) const {
  ByteWriter writer(bytes);
  writer.I16(BlobID);
  writer.I32(UncompressedSize);
  writer.I64(DataLength);
  writer.U32(static_cast<uint32_t>(StoredSize));
  writer.I32(static_cast<int32_t>(StoredSize >> 32));
}

TQDXBlobPageListRef TQDXBlobPageListRef::Decode(std::span<const uint8_t> bytes) {
  ByteReader reader(bytes);
  TQDXBlobPageListRef ref;
  ref.FirstPageNo = reader.I32();
  ref.Offset = reader.U16();
  ref.Count = reader.I32();
  return ref;
}

void TQDXBlobPageListRef::Encode(std::span<uint8_t> bytes) const {
  ByteWriter writer(bytes);
  writer.I32(FirstPageNo);
  writer.U16(Offset);
  writer.I32(Count);
}

TQDXLargeBlobHead TQDXLargeBlobHead::Decode(std::span<const uint8_t> headerPageData) {
  if (headerPageData.size() < static_cast<size_t>(kLargeBlobDataOffset)) {
    RaiseBufferSizeExceeded();
  }
  return {TQDXBlobValueHeader::Decode(headerPageData),
          TQDXBlobPageListRef::Decode(headerPageData.subspan(kBlobPageListRefOffset))};
}

void TQDXLargeBlobHead::Encode(std::span<uint8_t> headerPageData) const {
  if (headerPageData.size() < static_cast<size_t>(kLargeBlobDataOffset)) {
    RaiseBufferSizeExceeded();
  }
  Header.Encode(headerPageData);
  List.Encode(headerPageData.subspan(kBlobPageListRefOffset));
}

bool HasLargeValueShape(std::span<const uint8_t> data) {
  if (data.size() < static_cast<size_t>(kLargeBlobDataOffset)) return false;
  const int64_t dataLength = le::Load<int64_t>(data.data() + 6);
  const int64_t count = le::Load<int32_t>(data.data() + kListCountOffset);
  const auto pageDataSize = static_cast<int64_t>(data.size());
  return dataLength > pageDataSize * (count - 2) && dataLength < pageDataSize * count;
}

TQDXBlobReadOrder BlobReadOrder(int16_t blobID, std::span<const uint8_t> pageData) {
  if (blobID == kLargeBlobID) return TQDXBlobReadOrder::Large;
  if (blobID != kAmbiguousBlobID) return TQDXBlobReadOrder::Small;
  return HasLargeValueShape(pageData) ? TQDXBlobReadOrder::LargeThenSmall
                                      : TQDXBlobReadOrder::SmallThenLarge;
}

TQDXBlobDataLocation LargeBlobDataLocation(int64_t position, int32_t pageDataSize) {
  const int64_t headRoom = pageDataSize - kLargeBlobDataOffset;
  if (position < headRoom) return {0, static_cast<int32_t>(kLargeBlobDataOffset + position)};
  const int64_t rest = position - headRoom;
  return {static_cast<int32_t>(1 + rest / pageDataSize), static_cast<int32_t>(rest % pageDataSize)};
}

TQDXLargeBlobPlan PlanLargeBlob(int64_t dataLength, int32_t pageDataSize) {
  if (dataLength < 0 || pageDataSize < kLargeBlobDataOffset) {
    RaiseBadPageList(dataLength, 0, 0, pageDataSize);
  }
  const int64_t headRoom = pageDataSize - kLargeBlobDataOffset;
  int64_t dataPages = 1;
  int64_t lastUsed = kLargeBlobDataOffset + dataLength;
  if (dataLength > headRoom) {
    const int64_t rest = dataLength - headRoom;
    dataPages = 1 + CeilDiv(rest, pageDataSize);
    lastUsed = rest - (dataPages - 2) * pageDataSize;
  }
  const int64_t listSize = dataPages * kBlobPageListEntrySize;
  const bool newPage = lastUsed == pageDataSize;
  const int64_t room = newPage ? 0 : pageDataSize - lastUsed;
  const int64_t newListPages = listSize <= room ? 0 : CeilDiv(listSize - room, pageDataSize);
  if (dataPages + newListPages > std::numeric_limits<int32_t>::max()) {
    RaiseBadPageList(dataLength, dataPages, 0, pageDataSize);
  }

  TQDXLargeBlobPlan plan;
  plan.DataPageCount = static_cast<int32_t>(dataPages);
  plan.LastPageUsed = static_cast<int32_t>(lastUsed);
  plan.ListInNewPage = newPage;
  plan.ListOffset = newPage ? 0 : static_cast<int32_t>(lastUsed);
  plan.ListSize = listSize;
  plan.NewListPageCount = static_cast<int32_t>(newListPages);
  plan.ListPageCount = static_cast<int32_t>(newListPages + (newPage ? 0 : 1));
  return plan;
}

void TQDXLargeBlobHead::Check(int32_t pageDataSize) const {
  const TQDXLargeBlobPlan plan = PlanLargeBlob(Header.DataLength, pageDataSize);
  if (List.Count != plan.DataPageCount || List.Offset >= pageDataSize || List.FirstPageNo <= 0) {
    RaiseBadPageList(Header.DataLength, List.Count, List.Offset, pageDataSize);
  }
}

TQDXBlobListSegment BlobPageListSegment(int32_t startOffset, int64_t listSize, int32_t index,
                                        int32_t pageDataSize) {
  const int64_t firstSize = std::min<int64_t>(listSize, pageDataSize - startOffset);
  if (index == 0) return {startOffset, static_cast<int32_t>(firstSize)};
  const int64_t before = firstSize + static_cast<int64_t>(index - 1) * pageDataSize;
  const int64_t size = std::clamp<int64_t>(listSize - before, 0, pageDataSize);
  return {0, static_cast<int32_t>(size)};
}

}  // namespace qdx
