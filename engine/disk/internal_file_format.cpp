#include "engine/disk/internal_file_format.h"

#include "engine/foundation/little_endian.h"

namespace qdx {

TQDXChainLocation ChainLocation(int64_t contentPosition, int32_t pageDataSize) {
  const int64_t offset = contentPosition + kInternalFileHeaderSize;
  return {offset / pageDataSize, static_cast<int32_t>(offset % pageDataSize)};
}

int64_t ChainPageCount(int64_t contentSize, int32_t pageDataSize) {
  return (contentSize + kInternalFileHeaderSize + pageDataSize - 1) / pageDataSize;
}

TQDXTransactedFileHeader TQDXTransactedFileHeader::Decode(std::span<const uint8_t> bytes) {
  ByteReader reader(bytes);
  reader.Skip(1);
  TQDXTransactedFileHeader header;
  header.FileRecordSize = reader.I32();
  header.FileUncompressedSize = reader.I32();
  header.FileCompression = reader.U8();
  return header;
}

void TQDXTransactedFileHeader::Encode(std::span<uint8_t> bytes) const {
  ByteWriter writer(bytes);
  writer.U8(kInternalFileHeaderSize);
  writer.I32(FileRecordSize);
  writer.I32(FileUncompressedSize);
  writer.U8(FileCompression);
}

TQDXDirectFileHeader TQDXDirectFileHeader::Decode(std::span<const uint8_t> bytes) {
  ByteReader reader(bytes);
  reader.Skip(1);
  TQDXDirectFileHeader header;
  header.FileSize = reader.I32();
  reader.Skip(5);
  return header;
}

void TQDXDirectFileHeader::Encode(std::span<uint8_t> bytes) const {
  ByteWriter writer(bytes);
  writer.U8(kInternalFileHeaderSize);
  writer.I32(FileSize);
  writer.Zeros(5);
}

TQDXSystemDirectoryEntry TQDXSystemDirectoryEntry::Decode(std::span<const uint8_t> bytes) {
  ByteReader reader(bytes);
  TQDXSystemDirectoryEntry entry;
  entry.Kind = reader.U8();
  entry.FirstPageNo = reader.I32();
  return entry;
}

void TQDXSystemDirectoryEntry::Encode(std::span<uint8_t> bytes) const {
  ByteWriter writer(bytes);
  writer.U8(Kind);
  writer.I32(FirstPageNo);
}

TQDXTableListEntry TQDXTableListEntry::Decode(std::span<const uint8_t> bytes) {
  ByteReader reader(bytes);
  TQDXTableListEntry entry;
  const uint8_t length = reader.U8();
  entry.TableName = reader.Text(length);
  reader.Seek(256);
  entry.TableID = reader.I32();
  entry.MetadataStartPage = reader.I32();
  entry.MostUpdatedStartPage = reader.I32();
  entry.LocksStartPage = reader.I32();
  return entry;
}

void TQDXTableListEntry::Encode(std::span<uint8_t> bytes) const {
  if (TableName.size() > kMaxTableNameLength || bytes.size() < kTableListEntrySize) {
    RaiseBufferSizeExceeded();
  }
  ByteWriter writer(bytes);
  writer.U8(static_cast<uint8_t>(TableName.size()));
  writer.Text(TableName);
  writer.Zeros(kMaxTableNameLength - TableName.size());
  writer.I32(TableID);
  writer.I32(MetadataStartPage);
  writer.I32(MostUpdatedStartPage);
  writer.I32(LocksStartPage);
}

}  // namespace qdx
