#include "engine/disk/internal_file_format.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"

namespace qdx {
namespace {

TEST(ChainTest, ContentPositionsSkipTheFileHeaderInTheFirstPageOnly) {
  constexpr int32_t kDataSize = 4056;
  struct Case {
    int64_t position;
    int64_t page;
    int32_t offset;
  } cases[] = {{0, 0, 10}, {4045, 0, 4055}, {4046, 1, 0}, {4046 + 4056, 2, 0}};
  for (const Case& c : cases) {
    const TQDXChainLocation at = ChainLocation(c.position, kDataSize);
    EXPECT_EQ(at.PageIndex, c.page) << c.position;
    EXPECT_EQ(at.DataOffset, c.offset) << c.position;
  }
  EXPECT_EQ(ChainPageCount(0, kDataSize), 1);
  EXPECT_EQ(ChainPageCount(4046, kDataSize), 1);
  EXPECT_EQ(ChainPageCount(4047, kDataSize), 2);
  EXPECT_EQ(ChainPageCount(500, kDataSize), 1);  // a session slot file of 500 connections
}

TEST(InternalFileHeaderTest, TransactedAndDirectHeaders) {
  std::vector<uint8_t> bytes(10, 0xEE);
  TQDXTransactedFileHeader{300, 1000, 1}.Encode(bytes);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{10, 0x2C, 0x01, 0, 0, 0xE8, 0x03, 0, 0, 1}));
  const TQDXTransactedFileHeader t = TQDXTransactedFileHeader::Decode(bytes);
  EXPECT_EQ(t.FileRecordSize, 300);
  EXPECT_EQ(t.FileUncompressedSize, 1000);
  EXPECT_EQ(t.FileCompression, 1);

  std::fill(bytes.begin(), bytes.end(), 0xEE);
  TQDXDirectFileHeader{500}.Encode(bytes);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{10, 0xF4, 0x01, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(TQDXDirectFileHeader::Decode(bytes).FileSize, 500);
}

TEST(SystemDirectoryTest, EntriesAreFiveBytes) {
  std::vector<uint8_t> bytes(2 * kSystemDirectoryEntrySize);
  TQDXSystemDirectoryEntry{kSessionsFileKind, 3}.Encode(bytes);
  TQDXSystemDirectoryEntry{kTableListFileKind, 4}.Encode(
      std::span(bytes).subspan(kSystemDirectoryEntrySize));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{2, 3, 0, 0, 0, 1, 4, 0, 0, 0}));
  const auto second =
      TQDXSystemDirectoryEntry::Decode(std::span(bytes).subspan(kSystemDirectoryEntrySize));
  EXPECT_EQ(second.Kind, kTableListFileKind);
  EXPECT_EQ(second.FirstPageNo, 4);
}

TEST(TableListTest, EntryRoundTripsWithAZeroedNameTail) {
  std::vector<uint8_t> bytes(kTableListEntrySize, 0xEE);
  TQDXTableListEntry{"Brandstofkosten", 7, 10, 11, 12}.Encode(bytes);
  EXPECT_EQ(bytes[0], 15);
  EXPECT_EQ(std::string(bytes.begin() + 1, bytes.begin() + 16), "Brandstofkosten");
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 16, bytes.begin() + 256),
            std::vector<uint8_t>(240, 0));
  EXPECT_EQ(le::Load<int32_t>(&bytes[256]), 7);
  EXPECT_EQ(le::Load<int32_t>(&bytes[268]), 12);

  const TQDXTableListEntry e = TQDXTableListEntry::Decode(bytes);
  EXPECT_EQ(e.TableName, "Brandstofkosten");
  EXPECT_EQ(e.TableID, 7);
  EXPECT_EQ(e.MetadataStartPage, 10);
  EXPECT_EQ(e.MostUpdatedStartPage, 11);
  EXPECT_EQ(e.LocksStartPage, 12);
}

TEST(TableListTest, NameLengthsAtTheLimit) {
  std::vector<uint8_t> bytes(kTableListEntrySize);
  TQDXTableListEntry entry{std::string(255, 'n'), 1, 2, 3, 4};
  entry.Encode(bytes);
  EXPECT_EQ(TQDXTableListEntry::Decode(bytes).TableName, entry.TableName);
  EXPECT_EQ(TQDXTableListEntry::Decode(bytes).TableID, 1);

  entry.TableName.push_back('n');
  try {
    entry.Encode(bytes);
    FAIL();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 20056);
  }
}

}  // namespace
}  // namespace qdx
