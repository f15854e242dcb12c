#include "engine/disk/database_header.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "engine/foundation/crc32.h"
#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"

namespace qdx {
namespace {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  return std::vector<uint8_t>(values.begin(), values.end());
}

TEST(DatabaseHeaderTest, NewDatabaseAfterOneCommitHasTheseBytes) {
  TQDXDatabaseHeader header;
  header.TotalPageCount = 6;
  header.LastUsedPageNo = 4;
  header.ChangeCounter = 1;
  std::vector<uint8_t> bytes(kMainHeaderSize, 0xEE);
  header.Encode(bytes);

  std::vector<uint8_t> expected = Bytes(
      {0x51, 0x55, 0x45, 0x4E, 0x44, 0x52, 0x49, 0x58, 0x44, 0x41, 0x54, 0x41, 0x42, 0x41, 0x53,
       0x45, 0x4C, 0x00, 0x5C, 0x8F, 0xC2, 0xF5, 0x28, 0x5C, 0x18, 0x40, 0x00, 0x10, 0x08, 0x00,
       0x06, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00});
  expected.resize(kMainHeaderSize, 0);
  EXPECT_THAT(bytes, ElementsAreArray(expected));

  const TQDXDatabaseHeader read = TQDXDatabaseHeader::Decode(bytes);
  EXPECT_TRUE(read.HasValidSignature());
  EXPECT_EQ(read.HeaderSize, 76);
  EXPECT_EQ(read.Version, 6.09);
  EXPECT_EQ(read.PageSize, 4096);
  EXPECT_EQ(read.PagesPerExtent, 8);
  EXPECT_EQ(read.TotalPageCount, 6);
  EXPECT_EQ(read.LastUsedPageNo, 4);
  EXPECT_EQ(read.ChangeCounter, 1);
  EXPECT_TRUE(read.IsConsistent());
  EXPECT_FALSE(read.IsEncrypted());
  EXPECT_FALSE(read.IsOldFormat());
}

TEST(DatabaseHeaderTest, FlagsReadAsTheFormatDefinesThem) {
  TQDXDatabaseHeader header;
  header.Encrypted = 1;  // any non-zero value
  header.FileState = kFileStateWriting;
  header.Version = 2.5;
  std::vector<uint8_t> bytes(kMainHeaderSize);
  header.Encode(bytes);
  bytes[0] = 'X';
  const TQDXDatabaseHeader read = TQDXDatabaseHeader::Decode(bytes);
  EXPECT_TRUE(read.IsEncrypted());
  EXPECT_FALSE(read.IsConsistent());
  EXPECT_TRUE(read.IsOldFormat());
  EXPECT_FALSE(read.HasValidSignature());
}

TEST(DatabaseHeaderTest, ShortBufferIsAnErrorNotAnOverrun) {
  std::vector<uint8_t> bytes(kMainHeaderSize - 1);
  try {
    TQDXDatabaseHeader::Decode(bytes);
    FAIL();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 20056);
  }
}

TEST(PasswordBlockTest, FieldsSitAtTheirOffsets) {
  TQDXPasswordBlock block;
  block.CryptoAlgorithm = 5;
  for (size_t i = 0; i < block.PasswordCheckData.size(); ++i) {
    block.PasswordCheckData[i] = static_cast<uint8_t>(i % 255);
  }
  block.PasswordCheckCRC = RawCRC32(block.PasswordCheckData);
  std::vector<uint8_t> bytes(kPasswordBlockSize, 0xEE);
  block.Encode(bytes);
  EXPECT_EQ(bytes[0], 0x18);  // 280
  EXPECT_EQ(bytes[1], 0x01);
  EXPECT_EQ(bytes[2], 5);
  EXPECT_EQ(bytes[3], 0);
  EXPECT_EQ(bytes[4 + 254], 254);
  EXPECT_EQ(bytes[4 + 255], 0);
  EXPECT_EQ(le::Load<uint32_t>(&bytes[260]), block.PasswordCheckCRC);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 264, bytes.end()), std::vector<uint8_t>(16, 0));

  const TQDXPasswordBlock read = TQDXPasswordBlock::Decode(bytes);
  EXPECT_TRUE(read.HasValidSize());
  EXPECT_EQ(read.CryptoAlgorithm, 5);
  EXPECT_EQ(read.PasswordCheckData, block.PasswordCheckData);
  EXPECT_EQ(read.PasswordCheckCRC, block.PasswordCheckCRC);

  bytes[0] = 0x17;  // 279 makes the file invalid
  EXPECT_FALSE(TQDXPasswordBlock::Decode(bytes).HasValidSize());
}

TEST(PasswordBlockTest, WithoutPasswordAllButTheSizeIsZero) {
  std::vector<uint8_t> bytes(kPasswordBlockSize, 0xEE);
  TQDXPasswordBlock().Encode(bytes);
  EXPECT_EQ(le::Load<int16_t>(bytes.data()), 280);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 2, bytes.end()), std::vector<uint8_t>(278, 0));
}

TEST(LockBlockTest, IsTwentyBytesWithItsSizeFirst) {
  std::vector<uint8_t> bytes(kLockBlockSize, 0xEE);
  EncodeLockBlock(bytes);
  std::vector<uint8_t> expected(kLockBlockSize, 0);
  expected[0] = 20;
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(DecodeLockBlockSize(bytes), 20);
}

TEST(DatabaseLayoutTest, PositionsOfAnOrdinaryFile) {
  const TQDXDatabaseLayout layout(0, kMainHeaderSize, kLockBlockSize, 4096);
  EXPECT_EQ(layout.PasswordBlockPosition(), 76);
  EXPECT_EQ(layout.LockBlockPosition(), 356);
  EXPECT_EQ(layout.TablesLockPosition(), 359);
  EXPECT_EQ(layout.DatabaseLockPosition(), 360);
  EXPECT_EQ(layout.NextObjectIDPosition(), 376);
  EXPECT_EQ(layout.PageAreaPosition(), 380);
  EXPECT_EQ(layout.PagePosition(0), 380);
  EXPECT_EQ(layout.PagePosition(5), 380 + 5 * 4096);
  // 64-bit arithmetic for the last page numbers.
  EXPECT_EQ(layout.PagePosition(INT32_MAX), 380 + int64_t{INT32_MAX} * 4096);
  EXPECT_EQ(layout.FileSizeFor(6), 380 + 6 * 4096);
}

TEST(DatabaseLayoutTest, BlockSizesAndBaseOffsetMoveEverything) {
  const TQDXDatabaseLayout layout(1000, kMainHeaderSize, 24, 1024);
  EXPECT_EQ(layout.HeaderPosition(), 1000);
  EXPECT_EQ(layout.LockBlockPosition(), 1356);
  EXPECT_EQ(layout.NextObjectIDPosition(), 1380);
  EXPECT_EQ(layout.PagePosition(2), 1384 + 2048);
}

TEST(DatabaseLayoutTest, PageMinusOneHasNoPosition) {
  const TQDXDatabaseLayout layout;
  try {
    layout.PagePosition(-1);
    FAIL();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 10471);
    EXPECT_THAT(e.Message(), HasSubstr("Invalid PageNo = -1"));
  }
}

TEST(SignatureSearchTest, FindsTheFirstSignatureFollowedByHeaderSize76) {
  std::vector<uint8_t> header(kMainHeaderSize);
  TQDXDatabaseHeader().Encode(header);

  EXPECT_EQ(FindDatabaseSignature(header), 0u);

  // Appended to other data, after a signature with a wrong header size.
  // Room reserved up front: GCC 12 at -O2 warns falsely (-Warray-bounds) about the move of the
  // first 100 bytes when the insert below grows the vector.
  std::vector<uint8_t> file;
  file.reserve(100 + kDatabaseSignature.size() + 2 + header.size());
  file.assign(100, 'x');
  file.insert(file.end(), kDatabaseSignature.begin(), kDatabaseSignature.end());
  file.push_back(77);
  file.push_back(0);
  const size_t base = file.size();
  file.insert(file.end(), header.begin(), header.end());
  EXPECT_EQ(FindDatabaseSignature(file), base);

  // A signature cut off at the end of the window is no signature.
  std::vector<uint8_t> cut(kDatabaseSignature.begin(), kDatabaseSignature.end());
  cut.push_back(76);
  EXPECT_EQ(FindDatabaseSignature(cut), std::nullopt);
  EXPECT_EQ(FindDatabaseSignature({}), std::nullopt);
}

}  // namespace
}  // namespace qdx
