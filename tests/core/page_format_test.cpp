#include "engine/core/page_format.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "engine/core/page_handle.h"
#include "engine/foundation/except.h"
#include "tests/core/memory_page_manager.h"

namespace qdx {
namespace {

using ::testing::HasSubstr;

TEST(PageHeaderTest, RecordPageAsAddPageCreatesIt) {
  testing::TMemoryPageManager pm(4096);
  TQDXPageHandle page = TQDXPageHandle::Add(pm, 0, ptTableRecord);
  page->SetOwnerObjectID(7);
  const uint8_t* b = page->Buffer();
  const std::vector<uint8_t> head(b, b + 4);
  const std::vector<uint8_t> rest(b + 8, b + kPageHeaderSize);
  EXPECT_EQ(head, (std::vector<uint8_t>{0x51, 0x44, 0x58, 0x50}));
  EXPECT_EQ(rest, (std::vector<uint8_t>{
                      0x0A, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0x07, 0,
                      0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0,    0}));
  // The data area of a new page is zero.
  EXPECT_EQ(std::vector<uint8_t>(page->Data(), page->Data() + page->DataSize()),
            std::vector<uint8_t>(4056, 0));
}

TEST(PageHeaderTest, ValueFormRoundTrips) {
  TQDXPageHeader header;
  header.PageVersion = 0x12345678;
  header.PageType = ptTableBlob;
  header.NextPageNo = 99;
  header.PageCRC = 0xCA6598D0;
  header.PageCryptoAlgorithm = 3;
  header.OwnerObjectID = 42;
  std::vector<uint8_t> bytes(kPageHeaderSize);
  header.Encode(bytes);
  EXPECT_EQ(page_header::PageVersion(bytes.data()), 0x12345678);
  EXPECT_EQ(page_header::NextPageNo(bytes.data()), 99);
  EXPECT_EQ(page_header::PageCRC(bytes.data()), 0xCA6598D0u);
  EXPECT_EQ(bytes[20], 3);

  const TQDXPageHeader read = TQDXPageHeader::Decode(bytes);
  EXPECT_EQ(read.PageVersion, header.PageVersion);
  EXPECT_EQ(read.PageType, header.PageType);
  EXPECT_EQ(read.NextPageNo, header.NextPageNo);
  EXPECT_EQ(read.PageCRC, header.PageCRC);
  EXPECT_EQ(read.PageCryptoAlgorithm, header.PageCryptoAlgorithm);
  EXPECT_EQ(read.OwnerObjectID, header.OwnerObjectID);
}

TEST(PageTypeNameTest, NamesTheTwelveTypesAndRefusesOthers) {
  EXPECT_EQ(PageTypeName(ptUnknown), "Unknown Page");
  EXPECT_EQ(PageTypeName(ptEAM), "EAM Page");
  EXPECT_EQ(PageTypeName(ptPFS), "PFS Page");
  EXPECT_EQ(PageTypeName(ptFileSystemDirectory), "FileSystemDirectory Page");
  EXPECT_EQ(PageTypeName(ptActiveSessionList), "ActiveSessionList Page");
  EXPECT_EQ(PageTypeName(ptTableMostUpdated), "TableMostUpdated Page");
  EXPECT_EQ(PageTypeName(ptTableIndex), "TableIndex Page");
  for (int code : {13, 255, -1}) {
    try {
      PageTypeName(code);
      FAIL() << code;
    } catch (const EQDXException& e) {
      EXPECT_EQ(e.ErrorCode(), 30382);
      EXPECT_THAT(e.Message(), HasSubstr("Unknown Page Type: (" + std::to_string(code) + ")"));
    }
  }
}

TEST(PageVersionTest, WriteCounterNeverReachesTheReservedValues) {
  EXPECT_EQ(NextPageVersion(0), 1);
  EXPECT_EQ(NextPageVersion(kMaxInitialPageVersion), kMaxInitialPageVersion + 1);
  EXPECT_EQ(NextPageVersion(0x7FFFFFFB), 0x7FFFFFFC);
  EXPECT_EQ(NextPageVersion(0x7FFFFFFC), 0);
}

TEST(PageTest, ResizeKeepsTheContentAndRefusesShrinking) {
  testing::TMemoryPageManager pm(128);
  TQDXPage page(pm, 1);
  try {
    page.Resize(256);
    FAIL();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 20038);
  }
  page.AllocateBuffer();
  page.Data()[0] = 0x5A;
  try {
    page.Resize(127);
    FAIL();
  } catch (const EQDXException& e) {
    EXPECT_EQ(e.ErrorCode(), 20039);
  }
  page.Resize(256);
  EXPECT_EQ(page.BufferSize(), 256);
  EXPECT_EQ(page.Data()[0], 0x5A);

  // A borrowed buffer is copied into one the page owns.
  std::vector<uint8_t> borrowed(128, 0x33);
  page.BorrowBuffer(borrowed.data(), 128);
  EXPECT_FALSE(page.OwnsBuffer());
  page.Resize(200);
  EXPECT_TRUE(page.OwnsBuffer());
  EXPECT_NE(page.Buffer(), borrowed.data());
  EXPECT_EQ(page.Buffer()[127], 0x33);
  EXPECT_EQ(page.Buffer()[199], 0);
}

}  // namespace
}  // namespace qdx
