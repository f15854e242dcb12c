// The header area of a database file: the main header, the password block, the lock block and
// the NextObjectID slot, and the file positions derived from them.
//
// The database starts at a base offset inside its file (0 for an ordinary file; a database
// appended to other data starts at its first valid signature). The header area is four blocks
// in a row, then the pages:
//
//   position (from base)                       size  block
//   0                                          76    main header (HeaderSize)
//   HeaderSize                                 280   password block
//   HeaderSize + 280                           20    lock block (LockBlockSize, read from it)
//   HeaderSize + 280 + LockBlockSize           4     NextObjectID slot
//   HeaderSize + 280 + LockBlockSize + 4       ...   page N at + N * PageSize
//
// which puts page 0 at base + 380 in every file the engine writes. All integers little-endian.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "engine/foundation/cipher/password_check.h"

namespace qdx {

inline constexpr std::array<uint8_t, 16> kDatabaseSignature = {
    'Q', 'U', 'E', 'N', 'D', 'R', 'I', 'X', 'D', 'A', 'T', 'A', 'B', 'A', 'S', 'E'};
inline constexpr int16_t kMainHeaderSize = 76;
inline constexpr double kDatabaseFormatVersion = 6.09;
// Files with a lower Version are of an older format, to be converted.
inline constexpr double kOldFormatVersionLimit = 2.99;
inline constexpr uint16_t kDefaultPageSize = 4096;
inline constexpr uint16_t kDefaultPagesPerExtent = 8;
// The smallest page a database may have, refused below on create and on open. The largest
// layout that must fit one page is three entries of the smallest B-tree, the page index every
// table has (a node needs three for its splits to make progress): the 40-byte page header, the
// 18-byte B-tree header and three 8-byte entries (a 4-byte key, a 4-byte child page number).
// Everything else a page holds is smaller or spans pages: the 10-byte internal file header, a
// record of the smallest table, a BLOB piece. The password and lock blocks live in the header
// area, never in a page.
inline constexpr uint16_t kMinPageSize = 40 + 18 + 3 * (4 + 4);
inline constexpr uint8_t kFileStateWriting = 1;
inline constexpr uint8_t kFileStateConsistent = 2;
// Offsets in the main header of the two fields the commit's journal looks at without decoding it.
inline constexpr int64_t kChangeCounterOffset = 38;
inline constexpr int64_t kFileStateOffset = 42;
inline constexpr uint8_t kEncryptedMark = 0xFF;

inline constexpr int16_t kPasswordBlockSize = 280;
// kPasswordCheckDataSize (256) comes with the check data's helpers.

inline constexpr int16_t kLockBlockSize = 20;
// Bytes of the lock block that are only ever byte-range locked, never read or written as data.
inline constexpr int64_t kTablesLockByteOffset = 3;
inline constexpr int64_t kDatabaseLockByteOffset = 4;

inline constexpr int64_t kNextObjectIDSlotSize = 4;

// The main header.
//
//   offset  size  field
//   0       16    Signature        "QUENDRIXDATABASE", no terminator
//   16      2     HeaderSize       76, signed
//   18      8     Version          IEEE double; 6.09 for new files
//   26      2     PageSize         unsigned
//   28      2     PagesPerExtent   unsigned
//   30      4     TotalPageCount   signed
//   34      4     LastUsedPageNo   signed; -1 when no page is in use
//   38      4     ChangeCounter    +1 at the end of every commit that wrote pages
//   42      1     FileState        2 consistent, 1 a commit is being written
//   43      1     Encrypted        0xFF with a password; any non-zero value counts
//   44      32    reserved         written as zero
struct TQDXDatabaseHeader {
  std::array<uint8_t, 16> Signature = kDatabaseSignature;
  int16_t HeaderSize = kMainHeaderSize;
  double Version = kDatabaseFormatVersion;
  uint16_t PageSize = kDefaultPageSize;
  uint16_t PagesPerExtent = kDefaultPagesPerExtent;
  int32_t TotalPageCount = 0;
  int32_t LastUsedPageNo = -1;
  int32_t ChangeCounter = 0;
  uint8_t FileState = kFileStateConsistent;
  uint8_t Encrypted = 0;

  bool HasValidSignature() const { return Signature == kDatabaseSignature; }
  bool IsEncrypted() const { return Encrypted != 0; }
  bool IsConsistent() const { return FileState == kFileStateConsistent; }
  bool IsOldFormat() const { return Version < kOldFormatVersionLimit; }

  // Reads the 76 bytes at the start of `bytes` (20056 when fewer).
  static TQDXDatabaseHeader Decode(std::span<const uint8_t> bytes);
  // Writes 76 bytes at the start of `bytes`, reserved bytes zero.
  void Encode(std::span<uint8_t> bytes) const;
};

// The password block.
//
//   offset  size  field
//   0       2     PasswordBlockSize   280, signed; any other value makes the file invalid
//   2       1     CryptoAlgorithm     cipher code 0..7 of the database
//   3       1     reserved            zero
//   4       256   PasswordCheckData   random bytes 0..254, stored enciphered with the password
//   260     4     PasswordCheckCRC    RawCRC32 of the 256 plain check bytes
//   264     16    reserved            zero
//
// Without a password bytes 2..279 are zero.
struct TQDXPasswordBlock {
  int16_t PasswordBlockSize = kPasswordBlockSize;
  uint8_t CryptoAlgorithm = 0;
  std::array<uint8_t, kPasswordCheckDataSize> PasswordCheckData{};
  uint32_t PasswordCheckCRC = 0;

  bool HasValidSize() const { return PasswordBlockSize == kPasswordBlockSize; }

  static TQDXPasswordBlock Decode(std::span<const uint8_t> bytes);
  void Encode(std::span<uint8_t> bytes) const;
};

// The lock block: LockBlockSize (2 bytes, 20, signed), a zero byte, TablesLockByte,
// DatabaseLockByte and 15 zero bytes. Only its size is ever read; the lock bytes are only
// byte-range locked, so that a lock held by another process never blocks a read.
void EncodeLockBlock(std::span<uint8_t> bytes);
int16_t DecodeLockBlockSize(std::span<const uint8_t> bytes);

// The offset of the first place in `bytes` where the signature is followed by the 16-bit
// HeaderSize 76; none when there is no such place.
std::optional<size_t> FindDatabaseSignature(std::span<const uint8_t> bytes);

// File positions of one database, from its base offset and the block sizes read from it.
class TQDXDatabaseLayout {
 public:
  TQDXDatabaseLayout() = default;
  TQDXDatabaseLayout(int64_t baseOffset, int16_t headerSize, int16_t lockBlockSize,
                     uint16_t pageSize)
      : base_(baseOffset),
        headerSize_(headerSize),
        lockBlockSize_(lockBlockSize),
        pageSize_(pageSize) {}

  int64_t BaseOffset() const { return base_; }
  uint16_t PageSize() const { return pageSize_; }
  int64_t HeaderPosition() const { return base_; }
  int64_t PasswordBlockPosition() const { return base_ + headerSize_; }
  int64_t LockBlockPosition() const { return PasswordBlockPosition() + kPasswordBlockSize; }
  int64_t TablesLockPosition() const { return LockBlockPosition() + kTablesLockByteOffset; }
  int64_t DatabaseLockPosition() const { return LockBlockPosition() + kDatabaseLockByteOffset; }
  int64_t NextObjectIDPosition() const { return LockBlockPosition() + lockBlockSize_; }
  int64_t PageAreaPosition() const { return NextObjectIDPosition() + kNextObjectIDSlotSize; }
  // The position of page `pageNo`; a negative number fails with 10471 "Invalid PageNo = %d".
  int64_t PagePosition(int32_t pageNo) const;
  // The file length that holds `pageCount` pages.
  int64_t FileSizeFor(int32_t pageCount) const {
    return PageAreaPosition() + int64_t{pageCount} * pageSize_;
  }

 private:
  int64_t base_ = 0;
  int16_t headerSize_ = kMainHeaderSize;
  int16_t lockBlockSize_ = kLockBlockSize;
  uint16_t pageSize_ = kDefaultPageSize;
};

}  // namespace qdx
