// Record pages: how many records a page holds, the slot bitmap and slots to the byte, physical
// positions, and pages that do not belong to the table.
#include "engine/disk/record_page.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "engine/core/page_format.h"
#include "engine/foundation/except.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using ::qdx::testing::QdxErrorCode;

constexpr int32_t kDataSize4096 = 4096 - kPageHeaderSize;

std::vector<uint8_t> Filled(size_t size, uint8_t value) {
  return std::vector<uint8_t>(size, value);
}

// R * (S + 1/8) <= D - 1 < (R + 1) * (S + 1/8), multiplied by 8: the exact rational definition of
// R = trunc((D - 1) / (S + 0.125)).
void ExpectExactTrunc(int32_t dataSize, int32_t recordSize) {
  const int64_t r = RecordsPerPage(dataSize, recordSize);
  const int64_t limit = 8 * (static_cast<int64_t>(dataSize) - 1);
  const int64_t step = 8 * static_cast<int64_t>(recordSize) + 1;
  ASSERT_LE(r * step, limit) << dataSize << " " << recordSize;
  ASSERT_GT((r + 1) * step, limit) << dataSize << " " << recordSize;
  // Such a page always has room for its bitmap and slots.
  ASSERT_LE(r * recordSize + RecordBitmapSize(static_cast<int32_t>(r)), dataSize);
  // The floating-point form of the same formula gives the same answer.
  ASSERT_EQ(r, static_cast<int64_t>(std::trunc((dataSize - 1) / (recordSize + 0.125))));
}

TEST(RecordsPerPage, EqualsTheExactRealQuotientForEverySize) {
  for (int32_t dataSize = 1; dataSize <= 300; ++dataSize) {
    for (int32_t recordSize = 0; recordSize <= 300; ++recordSize) {
      ExpectExactTrunc(dataSize, recordSize);
    }
  }
  for (int32_t dataSize : {kDataSize4096, 8192 - 40, 16384 - 40, 65535 - 40}) {
    for (int32_t recordSize = 0; recordSize <= dataSize + 2; ++recordSize) {
      ExpectExactTrunc(dataSize, recordSize);
    }
  }
}

TEST(RecordsPerPage, PageSize4096) {
  EXPECT_EQ(RecordsPerPage(kDataSize4096, 100), 40);  // trunc(4055 / 100.125)
  EXPECT_EQ(RecordBitmapSize(40), 5);
  EXPECT_EQ(RecordsPerPage(kDataSize4096, 4054), 1);  // trunc(4055 / 4054.125)
  EXPECT_EQ(RecordsPerPage(kDataSize4096, 4055), 0);  // the table cannot be created
}

TEST(SmallRecordPage, SlotsAndBitmapToTheByte) {
  std::vector<uint8_t> data(kDataSize4096, 0);
  TQDXSmallRecordPage page(data, 40, 100);
  page.WriteRecord(0, Filled(100, 0xA0));
  page.WriteRecord(9, Filled(100, 0xA9));
  page.WriteRecord(39, Filled(100, 0xC7));

  const std::vector<uint8_t> bitmap(data.begin(), data.begin() + 5);
  EXPECT_EQ(bitmap, (std::vector<uint8_t>{0x01, 0x02, 0x00, 0x00, 0x80}));
  EXPECT_EQ(data[5], 0xA0);
  EXPECT_EQ(data[104], 0xA0);
  EXPECT_EQ(data[105], 0x00);  // slot 1 untouched
  EXPECT_EQ(data[5 + 9 * 100], 0xA9);
  EXPECT_EQ(data[5 + 9 * 100 + 99], 0xA9);
  EXPECT_EQ(data[5 + 39 * 100], 0xC7);
  EXPECT_EQ(data[4004], 0xC7);  // the last byte of the last slot
  EXPECT_EQ(data[4005], 0x00);  // the spare bytes behind it stay as they were
  EXPECT_EQ(page.RecordCount(), 3);
  EXPECT_EQ(page.Record(9)[0], 0xA9);
  EXPECT_EQ(page.Record(9).size(), 100u);
}

TEST(SmallRecordPage, InsertTakesTheLowestFreeSlotUntilFull) {
  std::vector<uint8_t> data(kDataSize4096, 0);
  TQDXSmallRecordPage page(data, 40, 100);
  for (int32_t i = 0; i < 40; ++i) EXPECT_EQ(page.InsertRecord(Filled(100, 1)), i);
  EXPECT_EQ(page.FindFreeSlot(), -1);
  EXPECT_EQ(QdxErrorCode([&] { page.InsertRecord(Filled(100, 1)); }), 20141);

  EXPECT_TRUE(page.DeleteRecord(17));
  EXPECT_FALSE(page.DeleteRecord(17));
  EXPECT_TRUE(page.DeleteRecord(3));
  EXPECT_EQ(page.RecordCount(), 38);
  EXPECT_EQ(page.InsertRecord(Filled(100, 2)), 3);
  EXPECT_EQ(page.InsertRecord(Filled(100, 2)), 17);
}

TEST(SmallRecordPage, GeometryThatDoesNotFitIsRefused) {
  struct Case {
    int32_t dataSize, records, recordSize;
    bool fits;
  };
  for (const Case& c : std::vector<Case>{
           {4005, 40, 100, true},  // 5-byte bitmap and 40 slots, exactly
           {4004, 40, 100, false},
           {kDataSize4096, 41, 100, false},
           {kDataSize4096, 0, 100, true},
           {kDataSize4096, -1, 100, false},
           {kDataSize4096, 1, -1, false},
           {9000, 65536, 0, true},  // the most slots a 16-bit slot number can address
           {9000, 65537, 0, false},
       }) {
    std::vector<uint8_t> data(static_cast<size_t>(c.dataSize), 0);
    const int32_t code =
        QdxErrorCode([&] { (void)TQDXSmallRecordPage(data, c.records, c.recordSize); });
    EXPECT_EQ(code, c.fits ? 0 : 20140) << c.dataSize << " " << c.records << " " << c.recordSize;
  }
}

TEST(SmallRecordPage, BitsBeyondTheLastSlotAreIgnored) {
  // 42 slots: the last bitmap byte holds two slots and six bits that belong to none.
  std::vector<uint8_t> data(6 + 42 * 10, 0);
  data[5] = 0xFC;
  TQDXSmallRecordPage page(data, 42, 10);
  EXPECT_EQ(page.RecordCount(), 0);
  EXPECT_EQ(page.NthUsedSlot(0), -1);
  EXPECT_EQ(page.NextUsedSlot(0), -1);
  EXPECT_EQ(page.PriorUsedSlot(100), -1);
  for (int32_t i = 0; i < 42; ++i) page.InsertRecord(Filled(10, 0));
  EXPECT_EQ(page.FindFreeSlot(), -1);
  EXPECT_EQ(page.RecordCount(), 42);
  EXPECT_FALSE(page.IsUsed(42));
}

TEST(SmallRecordPage, SlotOutsideThePage) {
  std::vector<uint8_t> data(kDataSize4096, 0xFF);
  TQDXSmallRecordPage page(data, 40, 100);
  EXPECT_FALSE(page.IsUsed(-1));
  EXPECT_FALSE(page.IsUsed(40));
  EXPECT_FALSE(page.DeleteRecord(40));
  EXPECT_EQ(QdxErrorCode([&] { page.Record(40); }), 20310);
  EXPECT_EQ(QdxErrorCode([&] { page.SetUsed(-1, true); }), 20310);
  EXPECT_EQ(QdxErrorCode([&] { page.WriteRecord(0, Filled(99, 0)); }), 20056);
}

// The walks the record manager needs, against a plain loop over IsUsed on random bitmaps.
TEST(SmallRecordPage, SlotWalksAgreeWithTheBitmap) {
  std::mt19937 random(7);
  for (int32_t records : {1, 7, 8, 9, 40, 63}) {
    std::vector<uint8_t> data(static_cast<size_t>(RecordBitmapSize(records) + records), 0);
    for (int round = 0; round < 20; ++round) {
      for (int32_t i = 0; i < RecordBitmapSize(records); ++i) data[i] = random() & 0xFF;
      if (round == 0) std::fill(data.begin(), data.begin() + RecordBitmapSize(records), 0);
      TQDXSmallRecordPage page(data, records, 1);
      std::vector<int32_t> used;
      for (int32_t s = 0; s < records; ++s) {
        if (page.IsUsed(s)) used.push_back(s);
      }
      ASSERT_EQ(page.RecordCount(), static_cast<int32_t>(used.size()));
      for (int32_t n = 0; n <= static_cast<int32_t>(used.size()); ++n) {
        ASSERT_EQ(page.NthUsedSlot(n), n < static_cast<int32_t>(used.size()) ? used[n] : -1);
      }
      for (int32_t s = 0; s <= records; ++s) {
        int32_t before = 0, next = -1, prior = -1;
        for (int32_t u : used) {
          if (u < s) ++before;
          if (u >= s && next < 0) next = u;
          if (u <= s) prior = u;
        }
        ASSERT_EQ(page.UsedSlotsBefore(s), before) << records << " " << s;
        ASSERT_EQ(page.NextUsedSlot(s), next) << records << " " << s;
        ASSERT_EQ(page.PriorUsedSlot(s), prior) << records << " " << s;
      }
    }
  }
}

TEST(RecordPosition, PageTimesRecordsPerPagePlusSlot) {
  struct Case {
    TQDXRecordID id;
    int32_t records;
    int64_t position;
  };
  for (const Case& c : std::vector<Case>{
           {{7, 39}, 40, 319},
           {{8, 0}, 40, 320},
           {{1, 0}, 1, 1},
           {{0x7FFFFFFF, 58000}, 58001, int64_t{0x7FFFFFFF} * 58001 + 58000},
       }) {
    EXPECT_EQ(RecordPosition(c.id, c.records), c.position);
    EXPECT_EQ(RecordIDOfPosition(c.position, c.records), c.id);
  }
}

TEST(RecordPageOwner, OnlyLiveRecordPagesOfTheTable) {
  struct Case {
    int32_t version;
    uint16_t type;
    int32_t owner;
    bool belongs;
  };
  for (const Case& c : std::vector<Case>{
           {5, ptTableRecord, 7, true},
           {0x7FFFFFFD, ptTableRecord, 7, true},
           {0x7FFFFFFE, ptTableRecord, 7, false},
           {kFreedPageVersion, ptTableRecord, 7, false},
           {5, ptTableBlob, 7, false},
           {5, ptTableRecord, 8, false},
       }) {
    std::vector<uint8_t> header(kPageHeaderSize, 0);
    page_header::Init(header);
    page_header::SetPageVersion(header.data(), c.version);
    page_header::SetPageType(header.data(), c.type);
    page_header::SetOwnerObjectID(header.data(), c.owner);
    EXPECT_EQ(IsRecordPageOf(header, 7), c.belongs) << c.version << " " << c.type << " " << c.owner;
  }
  EXPECT_FALSE(IsRecordPageOf(std::vector<uint8_t>(10, 0), 7));
}

}  // namespace
}  // namespace qdx
