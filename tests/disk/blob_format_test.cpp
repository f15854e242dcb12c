// The stored forms of BLOB values: the reference, the value header, a large value's head and the
// placement of its data and page list.
#include "engine/disk/blob_format.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using ::qdx::testing::QdxErrorCode;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kDataSize4096 = 4096 - 40;

TEST(BlobRef, SixBytesPageThenID) {
  Bytes bytes(6, 0);
  TQDXBlobRef{0x01020304, -1}.Encode(bytes);
  EXPECT_EQ(bytes, (Bytes{0x04, 0x03, 0x02, 0x01, 0xFF, 0xFF}));

  const TQDXBlobRef ref = TQDXBlobRef::Decode(Bytes{0x09, 0x00, 0x00, 0x00, 0xFF, 0x00});
  EXPECT_EQ(ref.PageNo, 9);
  EXPECT_EQ(ref.BlobID, 255);
  EXPECT_TRUE(ref.IsAmbiguous());
  EXPECT_FALSE(ref.IsLarge());

  EXPECT_FALSE((TQDXBlobRef{0, 3}.HasValue()));
  EXPECT_FALSE((TQDXBlobRef{-1, 3}.HasValue()));
  EXPECT_TRUE((TQDXBlobRef{5, 0}.HasValue()));
  EXPECT_EQ(QdxErrorCode([] { TQDXBlobRef::Decode(Bytes(5, 0)); }), 20056);
}

TEST(BlobValueHeader, TwentyTwoBytesStoredSizeInHalves) {
  TQDXBlobValueHeader header;
  header.BlobID = 3;
  header.UncompressedSize = 0x11223344;
  header.DataLength = 0x0102030405060708;
  header.StoredSize = 0x0000000A0000000B;
  Bytes bytes(22, 0xEE);
  header.Encode(bytes);
  EXPECT_EQ(bytes, (Bytes{0x03, 0x00,                                         // ID
                          0x44, 0x33, 0x22, 0x11,                             // uncompressed
                          0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,     // data length
                          0x0B, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00}));  // low, high

  const TQDXBlobValueHeader back = TQDXBlobValueHeader::Decode(bytes);
  EXPECT_EQ(back.BlobID, 3);
  EXPECT_EQ(back.UncompressedSize, 0x11223344);
  EXPECT_EQ(back.DataLength, 0x0102030405060708);
  EXPECT_EQ(back.StoredSize, 0x0000000A0000000B);

  // A negative high half reads as a negative stored size, which readers refuse.
  bytes[21] = 0x80;
  EXPECT_LT(TQDXBlobValueHeader::Decode(bytes).StoredSize, 0);
  EXPECT_EQ(QdxErrorCode([] { TQDXBlobValueHeader::Decode(Bytes(21, 0)); }), 20056);
}

TEST(LargeBlobHead, HeaderThenPageListReferenceAt22) {
  TQDXLargeBlobHead head;
  head.Header.UncompressedSize = 9000;
  head.Header.DataLength = 8080;
  head.Header.StoredSize = 8080;
  head.List = {0x0000012C, 0x0008, 2};
  Bytes data(kDataSize4096, 0);
  head.Encode(data);
  const Bytes first32(data.begin(), data.begin() + 32);
  EXPECT_EQ(first32, (Bytes{0xFF, 0xFF, 0x28, 0x23, 0, 0,        // ID -1, 9000
                            0x90, 0x1F, 0,    0,    0, 0, 0, 0,  // data length 8080
                            0x90, 0x1F, 0,    0,    0, 0, 0, 0,  // stored size 8080
                            0x2C, 0x01, 0,    0,                 // list in page 300
                            0x08, 0x00,                          // at offset 8
                            0x02, 0,    0,    0}));              // two entries

  const TQDXLargeBlobHead back = TQDXLargeBlobHead::Decode(data);
  EXPECT_EQ(back.Header.DataLength, 8080);
  EXPECT_EQ(back.List.FirstPageNo, 300);
  EXPECT_EQ(back.List.Offset, 8);
  EXPECT_EQ(back.List.Count, 2);
  EXPECT_EQ(QdxErrorCode([] { TQDXLargeBlobHead::Decode(Bytes(31, 0)); }), 20056);
}

TEST(BlobValueSize, SmallWhenDataLengthPlus24IsBelowPageDataSize) {
  EXPECT_TRUE(IsSmallBlobValue(4031, kDataSize4096));  // 4031 + 24 = 4055 < 4056
  EXPECT_FALSE(IsSmallBlobValue(4032, kDataSize4096));
  EXPECT_TRUE(IsSmallBlobValue(0, kDataSize4096));
}

TEST(LargeBlobPlan, PageListPlacementAtTheBoundaries) {
  struct Case {
    const char* what;
    int64_t dataLength;
    int32_t dataPages, lastUsed;
    bool newPage;
    int32_t listOffset, listPages, newListPages;
  };
  // PageDataSize 4056: the header page holds 4024 data bytes, every further page 4056.
  for (const Case& c : std::vector<Case>{
           {"smallest large value", 4032, 2, 8, false, 8, 1, 0},
           {"fits the header page", 4024, 1, 4056, true, 0, 1, 1},
           {"one byte less", 4023, 1, 4055, false, 4055, 2, 1},
           {"last page exactly full", 8080, 2, 4056, true, 0, 1, 1},
           {"list fills the last page", 8072, 2, 4048, false, 4048, 1, 0},
           {"an entry split over two pages", 8073, 2, 4049, false, 4049, 2, 1},
           {"last byte left for the list", 8079, 2, 4055, false, 4055, 2, 1},
           // 1015 data pages: a list of 4060 bytes needs two new pages of its own.
           {"list of two new pages", 4024 + 1014 * 4056, 1015, 4056, true, 0, 2, 2},
           {"list behind one data byte", 4024 + 1013 * 4056 + 1, 1015, 1, false, 1, 2, 1},
           {"list over three pages", 4024 + 1013 * 4056 + 4055, 1015, 4055, false, 4055, 3, 2},
       }) {
    const TQDXLargeBlobPlan plan = PlanLargeBlob(c.dataLength, kDataSize4096);
    EXPECT_EQ(plan.DataPageCount, c.dataPages) << c.what;
    EXPECT_EQ(plan.LastPageUsed, c.lastUsed) << c.what;
    EXPECT_EQ(plan.ListInNewPage, c.newPage) << c.what;
    EXPECT_EQ(plan.ListOffset, c.listOffset) << c.what;
    EXPECT_EQ(plan.ListSize, 4 * c.dataPages) << c.what;
    EXPECT_EQ(plan.ListPageCount, c.listPages) << c.what;
    EXPECT_EQ(plan.NewListPageCount, c.newListPages) << c.what;
  }
}

// Every length on a tiny page, against where the data bytes land and how much room the list needs.
TEST(LargeBlobPlan, AgreesWithTheDataPlacement) {
  constexpr int32_t kPage = 48;  // 16 data bytes in the header page
  for (int64_t length = 1; length < 40 * kPage; ++length) {
    const TQDXLargeBlobPlan plan = PlanLargeBlob(length, kPage);
    const TQDXBlobDataLocation last = LargeBlobDataLocation(length - 1, kPage);
    ASSERT_EQ(plan.DataPageCount, last.PageIndex + 1) << length;
    ASSERT_EQ(plan.LastPageUsed, last.Offset + 1) << length;
    const TQDXBlobDataLocation behind = LargeBlobDataLocation(length, kPage);
    ASSERT_EQ(plan.ListInNewPage, behind.PageIndex == plan.DataPageCount) << length;
    ASSERT_EQ(plan.ListOffset, behind.Offset) << length;
    // The list pages hold the list and no page more.
    const int64_t listEnd = plan.ListOffset + plan.ListSize;
    ASSERT_LE(listEnd, int64_t{plan.ListPageCount} * kPage) << length;
    ASSERT_GT(listEnd, int64_t{plan.ListPageCount - 1} * kPage) << length;
    ASSERT_EQ(plan.ListPageCount - plan.NewListPageCount, plan.ListInNewPage ? 0 : 1) << length;
    // The segments of the list pages hold the list exactly.
    int64_t listed = 0;
    int32_t listPages = 0;
    for (;; ++listPages) {
      const TQDXBlobListSegment segment =
          BlobPageListSegment(plan.ListOffset, plan.ListSize, listPages, kPage);
      if (segment.Size == 0) break;
      ASSERT_LE(segment.Offset + segment.Size, kPage) << length;
      listed += segment.Size;
    }
    ASSERT_EQ(listed, plan.ListSize) << length;
    ASSERT_EQ(listPages, plan.ListPageCount) << length;
  }
  EXPECT_EQ(LargeBlobDataLocation(0, kPage).Offset, 32);
  EXPECT_EQ(LargeBlobDataLocation(16, kPage).PageIndex, 1);
  EXPECT_EQ(LargeBlobDataLocation(16, kPage).Offset, 0);
}

TEST(LargeBlobPlan, ListSegmentsSplitAnEntryBetweenPages) {
  // 1015 data pages, the last one holding 4055 bytes: the 4060-byte list has 1 byte in it, a
  // whole page, then 3 bytes.
  const TQDXLargeBlobPlan plan = PlanLargeBlob(4024 + 1013 * 4056 + 4055, kDataSize4096);
  struct Expected {
    int32_t offset, size;
  };
  const std::vector<Expected> expected{{4055, 1}, {0, 4056}, {0, 3}, {0, 0}};
  for (int32_t i = 0; i < static_cast<int32_t>(expected.size()); ++i) {
    const TQDXBlobListSegment segment =
        BlobPageListSegment(plan.ListOffset, plan.ListSize, i, kDataSize4096);
    EXPECT_EQ(segment.Offset, expected[i].offset) << i;
    EXPECT_EQ(segment.Size, expected[i].size) << i;
  }
  const TQDXBlobListSegment whole = BlobPageListSegment(8, 8, 0, kDataSize4096);
  EXPECT_EQ(whole.Offset, 8);
  EXPECT_EQ(whole.Size, 8);
}

TEST(LargeBlobPlan, ImpossibleInputsAreRefused) {
  EXPECT_EQ(QdxErrorCode([] { PlanLargeBlob(-1, kDataSize4096); }), 20312);
  EXPECT_EQ(QdxErrorCode([] { PlanLargeBlob(100, 31); }), 20312);
  EXPECT_EQ(QdxErrorCode([] { PlanLargeBlob(int64_t{1} << 50, kDataSize4096); }), 20312);
}

TEST(LargeBlobHead, CheckRefusesAHeadThatDoesNotMatchItsLength) {
  struct Case {
    const char* what;
    int64_t dataLength;
    int32_t firstPage;
    uint16_t offset;
    int32_t count;
    bool sound;
  };
  for (const Case& c : std::vector<Case>{
           {"sound", 8079, 12, 4055, 2, true},
           {"one page too many", 8079, 12, 4055, 3, false},
           {"one page too few", 8079, 12, 4055, 1, false},
           {"list beyond the data area", 8079, 12, 4056, 2, false},
           {"no list page", 8079, -1, 4055, 2, false},
           {"negative length", -5, 12, 0, 1, false},
       }) {
    TQDXLargeBlobHead head;
    head.Header.DataLength = c.dataLength;
    head.List = {c.firstPage, c.offset, c.count};
    EXPECT_EQ(QdxErrorCode([&] { head.Check(kDataSize4096); }), c.sound ? 0 : 20312) << c.what;
  }
}

TEST(LargeValueShape, DataLengthBetweenCountMinusTwoAndCountPages) {
  struct Case {
    int64_t dataLength;
    int32_t count;
    bool large;
  };
  for (const Case& c : std::vector<Case>{
           {8080, 2, true},
           {8080, 3, true},  // the test is looser than the layout
           {8080, 1, false},
           {8112, 2, false},  // 4056 * 2: not below
           {8111, 2, true},
           {4056, 3, false},  // 4056 * 1: not above
           {4057, 3, true},
           {25, 0, false},  // what a shared page with one small entry tends to look like
       }) {
    Bytes data(kDataSize4096, 0);
    le::Store<int64_t>(data.data() + 6, c.dataLength);
    le::Store<int32_t>(data.data() + 28, c.count);
    EXPECT_EQ(HasLargeValueShape(data), c.large) << c.dataLength << " " << c.count;
  }
  EXPECT_FALSE(HasLargeValueShape(Bytes(31, 0xFF)));
}

TEST(BlobReadOrder, OnlyID255LooksAtThePage) {
  Bytes largeShape(kDataSize4096, 0);
  le::Store<int64_t>(largeShape.data() + 6, 8080);
  le::Store<int32_t>(largeShape.data() + 28, 2);
  const Bytes smallShape(kDataSize4096, 0);
  EXPECT_EQ(BlobReadOrder(-1, smallShape), TQDXBlobReadOrder::Large);
  EXPECT_EQ(BlobReadOrder(0, largeShape), TQDXBlobReadOrder::Small);
  EXPECT_EQ(BlobReadOrder(254, largeShape), TQDXBlobReadOrder::Small);
  EXPECT_EQ(BlobReadOrder(255, largeShape), TQDXBlobReadOrder::LargeThenSmall);
  EXPECT_EQ(BlobReadOrder(255, smallShape), TQDXBlobReadOrder::SmallThenLarge);
}

}  // namespace
}  // namespace qdx
