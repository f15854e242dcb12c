// Shared BLOB pages: entries to the byte, the choice of new IDs, removal closing the gap, and
// damaged counts and lengths.
#include "engine/disk/blob_page.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/foundation/except.h"
#include "engine/foundation/little_endian.h"
#include "tests/qdx_test_support.h"

namespace qdx {
namespace {

using ::qdx::testing::QdxErrorCode;
using ::qdx::testing::QdxErrorMessage;
using Bytes = std::vector<uint8_t>;

// Appends an entry by hand: header with the ID and sizes, then the data.
void PutEntry(Bytes& data, size_t& offset, int16_t id, const Bytes& value) {
  TQDXBlobValueHeader header;
  header.BlobID = id;
  header.UncompressedSize = static_cast<int32_t>(value.size()) * 2;
  header.DataLength = static_cast<int64_t>(value.size());
  header.StoredSize = static_cast<int64_t>(value.size());
  header.Encode(std::span(data).subspan(offset));
  std::copy(value.begin(), value.end(), data.begin() + static_cast<ptrdiff_t>(offset) + 22);
  offset += 22 + value.size();
  le::Store<uint16_t>(data.data(), le::Load<uint16_t>(data.data()) + 1);
}

TEST(SmallBlobPage, EntriesBackToBackToTheByte) {
  Bytes data(64, 0);
  TQDXSmallBlobPage page(data);
  EXPECT_EQ(page.EntryCount(), 0);
  EXPECT_EQ(page.AddEntry(10, 3, Bytes{0xAA, 0xBB, 0xCC}, 0), 0);
  EXPECT_EQ(page.AddEntry(4, 2, Bytes{0x11, 0x22}, 0), 1);

  const Bytes expected{
      0x02, 0x00,                                      // two entries
      0x00, 0x00, 0x0A, 0x00, 0x00, 0x00,              // ID 0, uncompressed 10
      0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // data length 3
      0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // stored size 3
      0xAA, 0xBB, 0xCC,                                // data
      0x01, 0x00, 0x04, 0x00, 0x00, 0x00,              // ID 1, uncompressed 4
      0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  //
      0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  //
      0x11, 0x22,                                      //
  };
  EXPECT_EQ(Bytes(data.begin(), data.begin() + static_cast<ptrdiff_t>(expected.size())), expected);
  EXPECT_EQ(page.EntriesEnd(), static_cast<int32_t>(expected.size()));
  EXPECT_EQ(page.EntryOffset(1), 27);

  const auto entry = page.ReadEntry(1);
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->Header.UncompressedSize, 4);
  EXPECT_EQ(Bytes(entry->Data.begin(), entry->Data.end()), (Bytes{0x11, 0x22}));
  EXPECT_FALSE(page.ReadEntry(2).has_value());
  EXPECT_EQ(page.FindEntry(0), 0);
  EXPECT_EQ(page.FindEntry(-1), -1);
}

TEST(SmallBlobPage, RemoveClosesTheGapAndZeroesTheTail) {
  Bytes data(100, 0);
  size_t end = 2;
  PutEntry(data, end, 7, {1, 1, 1});
  PutEntry(data, end, 8, {2, 2, 2, 2});
  PutEntry(data, end, 9, {3});
  TQDXSmallBlobPage page(data);

  EXPECT_EQ(page.RemoveEntry(8), 22 + 4);
  EXPECT_EQ(page.EntryCount(), 2);
  EXPECT_EQ(page.EntryOffset(1), 2 + 25);  // entry 9 moved up behind entry 7
  EXPECT_EQ(page.EntryHeader(1).BlobID, 9);
  EXPECT_EQ(page.ReadEntry(9)->Data[0], 3);
  EXPECT_EQ(page.ReadEntry(7)->Data.size(), 3u);
  EXPECT_EQ(Bytes(data.begin() + page.EntriesEnd(), data.end()), Bytes(100 - page.EntriesEnd(), 0));
  EXPECT_EQ(QdxErrorCode([&] { page.RemoveEntry(8); }), 20171);

  page.RemoveEntry(7);
  page.RemoveEntry(9);
  EXPECT_EQ(page.EntryCount(), 0);
  EXPECT_EQ(data, Bytes(100, 0));
}

TEST(SmallBlobPage, NewIDStartsAtTheCountAndSkipsTakenOnes) {
  Bytes data(200, 0);
  size_t end = 2;
  PutEntry(data, end, 2, {});
  PutEntry(data, end, 3, {});
  PutEntry(data, end, 5, {});
  TQDXSmallBlobPage page(data);
  EXPECT_EQ(page.NewID(), 4);  // the count, 3, is taken
  EXPECT_EQ(page.AddEntry(0, 0, {}, 0), 4);
  EXPECT_EQ(page.NewID(), 6);  // count 4 and 5 are taken

  EXPECT_EQ(NextBlobID(5), 6);
  EXPECT_EQ(NextBlobID(32767), -32768);
  EXPECT_EQ(NextBlobID(-2), 0);  // -1 marks a large value
}

TEST(SmallBlobPage, NewIDIsNever255) {
  // 255 entries of no data take IDs 0..254; the next would be 255, which a reader could take
  // for a large value.
  Bytes data(2 + 256 * 22, 0);
  TQDXSmallBlobPage page(data);
  for (int i = 0; i < 255; ++i) ASSERT_EQ(page.AddEntry(0, 0, {}, 0), i);
  EXPECT_EQ(page.AddEntry(0, 0, {}, 0), 256);
}

TEST(SmallBlobPage, EntryThatDoesNotFitIsRefused) {
  Bytes data(64, 0);
  TQDXSmallBlobPage page(data);
  page.AddEntry(1, 1, Bytes(10, 0x55), 0);  // ends at 34
  const std::string message = QdxErrorMessage([&] { page.AddEntry(1, 1, Bytes(9, 0x66), 41); });
  EXPECT_EQ(QdxErrorCode([&] { page.AddEntry(1, 1, Bytes(9, 0x66), 41); }), 20290);
  EXPECT_EQ(message,
            "Cannot add blob. Page is full: BlobCount=1, BlobOffset=34, BlobSize=31, "
            "PageDataSize=64, SizeInBlobPageIndex=41 - Native error: 20290");
  EXPECT_EQ(page.EntryCount(), 1);
  EXPECT_EQ(page.AddEntry(1, 1, Bytes(8, 0x66), 0), 1);  // exactly to the end
  EXPECT_EQ(page.EntriesEnd(), 64);
}

TEST(SmallBlobPage, DamagedCountOrLengthIsAnErrorNeverAnOverread) {
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
  };
  const std::vector<Case> damages{
      {"count beyond the entries", [](Bytes& d) { le::Store<uint16_t>(d.data(), 4); }},
      {"count no page can hold", [](Bytes& d) { le::Store<uint16_t>(d.data(), 0xFFFF); }},
      {"length past the end", [](Bytes& d) { le::Store<int64_t>(d.data() + 2 + 6, 60); }},
      {"negative length", [](Bytes& d) { le::Store<int64_t>(d.data() + 2 + 6, -1); }},
      {"huge length", [](Bytes& d) { le::Store<int64_t>(d.data() + 27 + 6, int64_t{1} << 62); }},
  };
  const std::vector<std::pair<const char*, std::function<void(TQDXSmallBlobPage&)>>> operations{
      {"EntriesEnd", [](TQDXSmallBlobPage& p) { p.EntriesEnd(); }},
      {"ReadEntry", [](TQDXSmallBlobPage& p) { p.ReadEntry(42); }},
      {"NewID", [](TQDXSmallBlobPage& p) { p.NewID(); }},
      {"AddEntry", [](TQDXSmallBlobPage& p) { p.AddEntry(0, 0, {}, 0); }},
      {"RemoveEntry", [](TQDXSmallBlobPage& p) { p.RemoveEntry(42); }},
  };
  for (const Case& damage : damages) {
    // Not a structured binding: clang 14 cannot capture one in the lambda below.
    for (const auto& entry : operations) {
      const auto& name = entry.first;
      const auto& operation = entry.second;
      Bytes data(80, 0);
      size_t end = 2;
      PutEntry(data, end, 0, {1, 2, 3});
      PutEntry(data, end, 1, {4, 5});
      damage.damage(data);
      const Bytes before = data;
      TQDXSmallBlobPage page(data);
      EXPECT_EQ(QdxErrorCode([&] { operation(page); }), 20311) << damage.what << ", " << name;
      EXPECT_EQ(data, before) << damage.what << ", " << name;
    }
  }
  Bytes tiny(1, 0);
  EXPECT_EQ(QdxErrorCode([&] { TQDXSmallBlobPage(tiny).EntryCount(); }), 20311);
}

}  // namespace
}  // namespace qdx
