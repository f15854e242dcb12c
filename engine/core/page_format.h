// The page header common to all pages, the page type codes and their names, and the rules of
// the page write counter (PageVersion).
//
// Every page starts with a 40-byte header; the rest of the page is its data area.
//
//   offset  size  field                 initial  meaning
//   0       4     PageSignature         "QDXP"   written, not checked on read
//   4       4     PageVersion           random   write counter; 0x7FFFFFFF on disk = freed page
//   8       2     PageType              0        type code (below)
//   10      4     NextPageNo            -1       next page of the page's chain, -1 for none
//   14      4     PageCRC               0        RawCRC32 of the plain data area (enciphered pages)
//   18      2     reserved              0
//   20      1     PageCryptoAlgorithm   0        cipher code of the data area
//   21      1     reserved              0
//   22      4     OwnerObjectID         -1       table owning the page (record pages)
//   26      4     reserved              -1
//   30      2     reserved              0
//   32      8     reserved              0
//
// The header is always stored plain; encryption covers only the data area.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "engine/foundation/little_endian.h"

namespace qdx {

inline constexpr uint16_t kPageHeaderSize = 40;

// Page type codes.
enum TQDXPageType : uint16_t {
  ptUnknown = 0,
  ptEmpty = 1,
  ptEAM = 2,
  ptPFS = 3,
  ptFileSystemDirectory = 4,
  ptActiveSessionList = 5,
  ptTableList = 6,
  ptTableLocks = 7,
  ptTableMetaData = 8,
  ptTableMostUpdated = 9,
  ptTableRecord = 10,
  ptTableBlob = 11,
  ptTableIndex = 12,
};
inline constexpr uint16_t kLastPageType = ptTableIndex;
// GetPage's page type that accepts a page of any type.
inline constexpr uint16_t kAnyPageType = 255;

// The name of a page type as messages show it ("TableRecord Page"); a code above 12 fails with
// 30382 "Unknown Page Type: (%d)".
std::string_view PageTypeName(int pageType);

// PageVersion values. A new page starts at a random value up to kMaxInitialPageVersion; each
// write adds one and restarts at 0 on reaching kPageVersionWrap, so that the values from
// kPageVersionWrap up are never the result of a write.
inline constexpr int32_t kMaxInitialPageVersion = 0x3FFFFFFE;
inline constexpr int32_t kPageVersionWrap = 0x7FFFFFFD;
inline constexpr int32_t kFreedPageVersion = 0x7FFFFFFF;

// The version a page carries after one more write. Requires 0 <= version < kPageVersionWrap.
constexpr int32_t NextPageVersion(int32_t version) {
  return version + 1 >= kPageVersionWrap ? 0 : version + 1;
}

// Field access on a page buffer (at least kPageHeaderSize bytes).
namespace page_header {

inline constexpr size_t kSignatureOffset = 0;
inline constexpr size_t kVersionOffset = 4;
inline constexpr size_t kTypeOffset = 8;
inline constexpr size_t kNextPageNoOffset = 10;
inline constexpr size_t kCRCOffset = 14;
inline constexpr size_t kCryptoAlgorithmOffset = 20;
inline constexpr size_t kOwnerObjectIDOffset = 22;

inline int32_t PageVersion(const uint8_t* page) {
  return le::Load<int32_t>(page + kVersionOffset);
}
inline void SetPageVersion(uint8_t* page, int32_t v) {
  le::Store(page + kVersionOffset, v);
}
inline uint16_t PageType(const uint8_t* page) {
  return le::Load<uint16_t>(page + kTypeOffset);
}
inline void SetPageType(uint8_t* page, uint16_t v) {
  le::Store(page + kTypeOffset, v);
}
inline int32_t NextPageNo(const uint8_t* page) {
  return le::Load<int32_t>(page + kNextPageNoOffset);
}
inline void SetNextPageNo(uint8_t* page, int32_t v) {
  le::Store(page + kNextPageNoOffset, v);
}
inline uint32_t PageCRC(const uint8_t* page) {
  return le::Load<uint32_t>(page + kCRCOffset);
}
inline void SetPageCRC(uint8_t* page, uint32_t v) {
  le::Store(page + kCRCOffset, v);
}
inline uint8_t PageCryptoAlgorithm(const uint8_t* page) {
  return page[kCryptoAlgorithmOffset];
}
inline void SetPageCryptoAlgorithm(uint8_t* page, uint8_t v) {
  page[kCryptoAlgorithmOffset] = v;
}
inline int32_t OwnerObjectID(const uint8_t* page) {
  return le::Load<int32_t>(page + kOwnerObjectIDOffset);
}
inline void SetOwnerObjectID(uint8_t* page, int32_t v) {
  le::Store(page + kOwnerObjectIDOffset, v);
}

// Writes the header of a new page: "QDXP", version 0, type 0, no next page, CRC 0, owner -1.
void Init(std::span<uint8_t> header);

}  // namespace page_header

// The page header as a value, for code that reads or checks all of it.
struct TQDXPageHeader {
  int32_t PageVersion = 0;
  uint16_t PageType = ptUnknown;
  int32_t NextPageNo = -1;
  uint32_t PageCRC = 0;
  uint8_t PageCryptoAlgorithm = 0;
  int32_t OwnerObjectID = -1;

  static TQDXPageHeader Decode(std::span<const uint8_t> bytes);
  // Writes all 40 bytes, the signature and the reserved fields included.
  void Encode(std::span<uint8_t> bytes) const;
};

}  // namespace qdx
