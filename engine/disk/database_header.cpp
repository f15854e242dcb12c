#include "engine/disk/database_header.h"

#include <algorithm>
#include <cstring>

#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/messages.h"

namespace qdx {

TQDXDatabaseHeader TQDXDatabaseHeader::Decode(std::span<const uint8_t> bytes) {
  ByteReader reader(bytes);
  TQDXDatabaseHeader header;
  reader.CopyTo(header.Signature.data(), header.Signature.size());
  header.HeaderSize = reader.I16();
  header.Version = reader.F64();
  header.PageSize = reader.U16();
  header.PagesPerExtent = reader.U16();
  header.TotalPageCount = reader.I32();
  header.LastUsedPageNo = reader.I32();
  header.ChangeCounter = reader.I32();
  header.FileState = reader.U8();
  header.Encrypted = reader.U8();
  reader.Skip(32);
  return header;
}

void TQDXDatabaseHeader::Encode(std::span<uint8_t> bytes) const {
  ByteWriter writer(bytes);
  writer.Bytes(Signature);
  writer.I16(HeaderSize);
  writer.F64(Version);
  writer.U16(PageSize);
  writer.U16(PagesPerExtent);
  writer.I32(TotalPageCount);
  writer.I32(LastUsedPageNo);
  writer.I32(ChangeCounter);
  writer.U8(FileState);
  writer.U8(Encrypted);
  writer.Zeros(32);
}

TQDXPasswordBlock TQDXPasswordBlock::Decode(std::span<const uint8_t> bytes) {
  ByteReader reader(bytes);
  TQDXPasswordBlock block;
  block.PasswordBlockSize = reader.I16();
  block.CryptoAlgorithm = reader.U8();
  reader.Skip(1);
  reader.CopyTo(block.PasswordCheckData.data(), block.PasswordCheckData.size());
  block.PasswordCheckCRC = reader.U32();
  reader.Skip(16);
  return block;
}

void TQDXPasswordBlock::Encode(std::span<uint8_t> bytes) const {
  ByteWriter writer(bytes);
  writer.I16(PasswordBlockSize);
  writer.U8(CryptoAlgorithm);
  writer.Zeros(1);
  writer.Bytes(PasswordCheckData);
  writer.U32(PasswordCheckCRC);
  writer.Zeros(16);
}

void EncodeLockBlock(std::span<uint8_t> bytes) {
  ByteWriter writer(bytes);
  writer.I16(kLockBlockSize);
  writer.Zeros(kLockBlockSize - 2);
}

int16_t DecodeLockBlockSize(std::span<const uint8_t> bytes) {
  return ByteReader(bytes).I16();
}

std::optional<size_t> FindDatabaseSignature(std::span<const uint8_t> bytes) {
  constexpr size_t kNeeded = kDatabaseSignature.size() + 2;
  if (bytes.size() < kNeeded) return std::nullopt;
  // The scan runs over whole megabytes of a hostile file: memchr finds candidates quickly.
  const uint8_t* const begin = bytes.data();
  const uint8_t* const lastStart = begin + (bytes.size() - kNeeded);
  for (const uint8_t* p = begin; p <= lastStart; ++p) {
    p = static_cast<const uint8_t*>(
        std::memchr(p, kDatabaseSignature[0], static_cast<size_t>(lastStart - p) + 1));
    if (p == nullptr) break;
    if (std::memcmp(p, kDatabaseSignature.data(), kDatabaseSignature.size()) == 0 &&
        le::Load<int16_t>(p + kDatabaseSignature.size()) == kMainHeaderSize) {
      return static_cast<size_t>(p - begin);
    }
  }
  return std::nullopt;
}

int64_t TQDXDatabaseLayout::PagePosition(int32_t pageNo) const {
  if (pageNo < 0) Raise(msg::kInvalidPageNo, {pageNo});
  return PageAreaPosition() + int64_t{pageNo} * pageSize_;
}

}  // namespace qdx
