#include "engine/core/page_format.h"

#include <array>

#include "engine/foundation/except.h"
#include "engine/foundation/messages.h"

namespace qdx {
namespace {

constexpr std::array<std::string_view, kLastPageType + 1> kPageTypeNames = {
    "Unknown Page",
    "Empty Page",
    "EAM Page",
    "PFS Page",
    "FileSystemDirectory Page",
    "ActiveSessionList Page",
    "TableList Page",
    "TableLocks Page",
    "TableMetaData Page",
    "TableMostUpdated Page",
    "TableRecord Page",
    "TableBlob Page",
    "TableIndex Page",
};

}  // namespace

std::string_view PageTypeName(int pageType) {
  if (pageType < 0 || pageType > kLastPageType) {
    Raise(msg::kUnknownPageType, {pageType});
  }
  return kPageTypeNames[static_cast<size_t>(pageType)];
}

void page_header::Init(std::span<uint8_t> header) {
  TQDXPageHeader().Encode(header);
}

TQDXPageHeader TQDXPageHeader::Decode(std::span<const uint8_t> bytes) {
  ByteReader reader(bytes);
  TQDXPageHeader header;
  reader.Skip(4);  // the signature is not checked
  header.PageVersion = reader.I32();
  header.PageType = reader.U16();
  header.NextPageNo = reader.I32();
  header.PageCRC = reader.U32();
  reader.Skip(2);
  header.PageCryptoAlgorithm = reader.U8();
  reader.Skip(1);
  header.OwnerObjectID = reader.I32();
  reader.Skip(kPageHeaderSize - 26);
  return header;
}

void TQDXPageHeader::Encode(std::span<uint8_t> bytes) const {
  ByteWriter writer(bytes);
  writer.Text("QDXP");
  writer.I32(PageVersion);
  writer.U16(PageType);
  writer.I32(NextPageNo);
  writer.U32(PageCRC);
  writer.Zeros(2);
  writer.U8(PageCryptoAlgorithm);
  writer.Zeros(1);
  writer.I32(OwnerObjectID);
  writer.I32(-1);
  writer.Zeros(2);
  writer.Zeros(8);
}

}  // namespace qdx
