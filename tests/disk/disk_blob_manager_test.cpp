#include "engine/disk/disk_blob_manager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <random>
#include <string>

#include "engine/disk/blob_page.h"
#include "engine/foundation/little_endian.h"
#include "tests/disk/disk_blob_test_support.h"

namespace qdx {
namespace {

using testing::BlobTest;
using testing::kBinaryField;
using testing::kMemoField;
using testing::kSession;

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

// Text that compresses, with enough variety that every coder has work to do.
std::vector<uint8_t> Text(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"fuel ",    "tyres ", "service ",    "insurance ", "12.50 ",
                                       "toll\r\n", "wash ",  "oil change ", "inspection "};
  std::mt19937 random(seed);
  std::vector<uint8_t> text;
  while (text.size() < size) {
    const std::string word = kWords[random() % 9];
    text.insert(text.end(), word.begin(), word.end());
  }
  text.resize(size);
  return text;
}

// With 4096-byte pages a page has 4056 bytes of data; a large value's header page takes 4024 of
// them behind its 32-byte head.
constexpr int64_t kData = 4056;
constexpr int64_t kHeadRoom = kData - 32;

// ---- Round trips ------------------------------------------------------------------------------

struct SizeCase {
  const char* Name;
  int64_t Size;
  bool Large;
  int32_t Pages;  // BLOB pages the value takes
};

// Uncompressed fields, so the compressed form is the value itself and its length is exact.
TEST_F(BlobTest, ValuesOfEverySizeClassComeBackAfterReopen) {
  const SizeCase cases[] = {
      {"one byte", 1, false, 1},
      // Does not fit beside the one-byte value: a second shared page.
      {"largest small value", 4031, false, 1},
      {"smallest large value", 4032, true, 2},
      {"list split between two pages", kHeadRoom + kData - 2, true, 3},
      {"list starting a new page", kHeadRoom + kData, true, 3},
      {"list filling its page", kHeadRoom + kData - 8, true, 2},
      {"many pages", kHeadRoom + 40 * kData + 7, true, 42},
      // 1102 entries: the list runs from the last data page into a page of its own.
      {"list over several pages", kHeadRoom + 1100 * kData + 100, true, 1102 + 1},
  };
  std::vector<std::vector<uint8_t>> values;
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].Name);
    values.push_back(RandomBytes(static_cast<size_t>(cases[i].Size), static_cast<uint32_t>(i)));
    std::vector<uint8_t> record = NewRecord();
    Put(record.data(), kBinaryField, values.back());
    const int32_t before = BlobPagesInUse();
    blobs->WriteRecordBlobs(kSession, record.data());
    Commit();
    EXPECT_EQ(Ref(record.data(), kBinaryField).IsLarge(), cases[i].Large);
    EXPECT_EQ(BlobPagesInUse() - before, cases[i].Pages);
    EXPECT_EQ(blobs->Store().ValuePages(kSession, Ref(record.data(), kBinaryField)).size(),
              static_cast<size_t>(cases[i].Large ? cases[i].Pages : 1));
    EXPECT_EQ(blobs->CacheEntryCount(), 0);
    records.records[static_cast<int32_t>(i)] = record;
  }

  Reopen();
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].Name);
    EXPECT_EQ(Get(records.records[static_cast<int32_t>(i)].data(), kBinaryField), values[i]);
  }
  // Deleting every value leaves no BLOB page behind.
  for (auto& [key, record] : records.records) blobs->DeleteRecordBlobs(kSession, record.data());
  Commit();
  EXPECT_EQ(BlobPagesInUse(), 0);
  EXPECT_EQ(blobs->Index().FindPageWithRoom(kSession, 22), -1);
}

TEST_F(BlobTest, LargeValuePagesFollowTheLayout) {
  // The list starts exactly at a new page when the last data page is full.
  std::vector<uint8_t> record = NewRecord();
  const std::vector<uint8_t> value = RandomBytes(kHeadRoom + kData, 7);
  Put(record.data(), kBinaryField, value);
  blobs->WriteRecordBlobs(kSession, record.data());
  Commit();
  const TQDXBlobRef ref = Ref(record.data(), kBinaryField);
  const TQDXLargeBlobPages layout = blobs->Store().ReadLargePages(kSession, ref.PageNo);
  ASSERT_EQ(layout.DataPages.size(), 2u);
  ASSERT_EQ(layout.ListPages.size(), 1u);
  EXPECT_EQ(layout.DataPages[0], ref.PageNo);
  EXPECT_EQ(layout.Head.List.FirstPageNo, layout.ListPages[0]);
  EXPECT_EQ(layout.Head.List.Offset, 0);
  EXPECT_EQ(layout.Head.Header.DataLength, kHeadRoom + kData);
  EXPECT_EQ(layout.Head.Header.StoredSize, kHeadRoom + kData);

  TQDXPageHandle last =
      TQDXPageHandle::Get(*pages, kSession, layout.DataPages[1], true, ptTableBlob);
  EXPECT_EQ(last->NextPageNo(), layout.ListPages[0]);
  EXPECT_TRUE(std::equal(value.end() - kData, value.end(), last->Data()));
  last.Release();
  TQDXPageHandle list =
      TQDXPageHandle::Get(*pages, kSession, layout.ListPages[0], true, ptTableBlob);
  EXPECT_EQ(le::Load<int32_t>(list->Data()), layout.DataPages[0]);
  EXPECT_EQ(le::Load<int32_t>(list->Data() + 4), layout.DataPages[1]);
}

// A compressed field stores the compressed form: its length, block headers included, decides
// between the two shapes. Random bytes do not shrink, so zlib keeps them in stored blocks and
// the form's length follows the value's to the byte.
TEST_F(BlobTest, CompressedFormsAtTheSmallLargeBoundary) {
  SetCompression(kCompressionZlib, 6, 8192);
  const struct {
    size_t Size;
    int64_t FormSize;  // 0: not fixed
    bool Large;
  } cases[] = {{1, 0, false}, {4000, 4031, false}, {4001, 4032, true}, {8192, 8223, true}};
  std::vector<std::vector<uint8_t>> values;
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].Size);
    values.push_back(RandomBytes(cases[i].Size, static_cast<uint32_t>(100 + i)));
    std::vector<uint8_t> record = NewRecord();
    Put(record.data(), kMemoField, values.back());
    if (cases[i].FormSize > 0) {
      ASSERT_EQ(blobs->CacheEntry(record.data(), kMemoField)->StoredSize, cases[i].FormSize);
    }
    blobs->WriteRecordBlobs(kSession, record.data());
    EXPECT_EQ(Ref(record.data(), kMemoField).IsLarge(), cases[i].Large);
    records.records[static_cast<int32_t>(i)] = record;
  }
  Commit();
  Reopen();
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].Size);
    EXPECT_EQ(Get(records.records[static_cast<int32_t>(i)].data(), kMemoField), values[i]);
  }
}

struct CompressionCase {
  uint8_t Algorithm;
  uint8_t Mode;
};

// Every algorithm at every mode a field can ask for (1 to 9), and no compression.
std::vector<CompressionCase> EveryCompression() {
  std::vector<CompressionCase> cases = {{kCompressionNone, 0}};
  for (uint8_t algorithm : {kCompressionZlib, kCompressionBzip, kCompressionPpm}) {
    for (uint8_t mode = 1; mode <= 9; ++mode) cases.push_back({algorithm, mode});
  }
  return cases;
}

TEST_F(BlobTest, EveryAlgorithmAndModeRoundTrips) {
  const std::vector<CompressionCase> cases = EveryCompression();
  // Small and large compressed forms, several blocks each (block size 3000), and random bytes
  // that do not compress.
  const std::vector<std::vector<uint8_t>> values = {Text(2500, 1), Text(60000, 2),
                                                    RandomBytes(9000, 3)};
  int32_t key = 0;
  std::vector<std::pair<int32_t, const std::vector<uint8_t>*>> expected;
  for (const CompressionCase& c : cases) {
    SetCompression(c.Algorithm, c.Mode, 3000);
    for (const std::vector<uint8_t>& value : values) {
      SCOPED_TRACE(::testing::Message() << "algorithm " << int(c.Algorithm) << " mode "
                                        << int(c.Mode) << " size " << value.size());
      std::vector<uint8_t> record = NewRecord();
      Put(record.data(), kMemoField, value);
      const TQDXBlobCacheEntry* entry = blobs->CacheEntry(record.data(), kMemoField);
      ASSERT_NE(entry, nullptr);
      EXPECT_EQ(entry->UncompressedSize, static_cast<int32_t>(value.size()));
      EXPECT_EQ(entry->StoredSize, static_cast<int64_t>(entry->Data.size()));
      if (&value != &values.back() && c.Algorithm != kCompressionNone) {
        EXPECT_LT(entry->StoredSize, entry->UncompressedSize);
      }
      blobs->WriteRecordBlobs(kSession, record.data());
      records.records[key] = record;
      expected.emplace_back(key++, &value);
    }
    Commit();
    Reopen();
    for (const auto& [k, value] : expected) {
      EXPECT_EQ(Get(records.records[k].data(), kMemoField), *value) << "record " << k;
    }
    expected.clear();
  }
}

// ---- Changing values --------------------------------------------------------------------------

TEST_F(BlobTest, UpdatesFreeTheValueTheyReplace) {
  std::vector<uint8_t> record = NewRecord();
  // Large, then small, then larger, then empty: each write frees what the last one took.
  const struct {
    size_t Size;
    int32_t Pages;
  } steps[] = {{20000, 5}, {100, 1}, {50000, 13}, {4031, 1}, {0, 0}};
  uint32_t seed = 0;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.Size);
    const std::vector<uint8_t> value = RandomBytes(step.Size, ++seed);
    Put(record.data(), kBinaryField, value);
    blobs->WriteRecordBlobs(kSession, record.data());
    Commit();
    EXPECT_EQ(BlobPagesInUse(), step.Pages);
    if (step.Size == 0) {
      EXPECT_TRUE(IsNull(kBinaryField, record.data()));
      EXPECT_FALSE(Ref(record.data(), kBinaryField).HasValue());
    } else {
      EXPECT_EQ(Get(record.data(), kBinaryField), value);
    }
  }
}

TEST_F(BlobTest, DeletingTheOnlyValueOfASharedPageFreesIt) {
  std::vector<uint8_t> a = NewRecord(), b = NewRecord();
  Put(a.data(), kMemoField, Text(1000, 1));
  Put(b.data(), kBinaryField, RandomBytes(2000, 2));
  blobs->WriteRecordBlobs(kSession, a.data());
  blobs->WriteRecordBlobs(kSession, b.data());
  Commit();
  const TQDXBlobRef refA = Ref(a.data(), kMemoField), refB = Ref(b.data(), kBinaryField);
  ASSERT_EQ(refA.PageNo, refB.PageNo);
  EXPECT_NE(refA.BlobID, refB.BlobID);
  EXPECT_EQ(BlobPagesInUse(), 1);

  blobs->DeleteRecordBlobs(kSession, a.data());
  Commit();
  EXPECT_EQ(BlobPagesInUse(), 1);
  EXPECT_EQ(Get(b.data(), kBinaryField), RandomBytes(2000, 2));
  // The page records only what is left in it.
  EXPECT_EQ(blobs->Index().FindPageWithRoom(kSession, 4000 - 2022), refB.PageNo);

  blobs->DeleteRecordBlobs(kSession, b.data());
  Commit();
  EXPECT_EQ(BlobPagesInUse(), 0);
  EXPECT_EQ(blobs->Index().FindPageWithRoom(kSession, 22), -1);
  EXPECT_EQ(Ref(b.data(), kBinaryField).PageNo, -1);
  EXPECT_EQ(Ref(b.data(), kBinaryField).BlobID, -1);
}

TEST_F(BlobTest, NullAndEmptyValues) {
  std::vector<uint8_t> record = NewRecord();
  // A NULL field reads as no data and an empty stream.
  const TQDXBlobValue none = blobs->GetBlobData(kSession, record.data(), kMemoField);
  EXPECT_TRUE(none.Data.empty());
  EXPECT_EQ(none.UncompressedSize, 0);
  EXPECT_EQ(none.StoredSize, 0);
  EXPECT_EQ(Get(record.data(), kMemoField), std::nullopt);
  EXPECT_EQ(blobs->OpenBlob(kSession, record.data(), kMemoField, true, true)->Size(), 0);

  Put(record.data(), kMemoField, Text(300, 1));
  EXPECT_FALSE(IsNull(kMemoField, record.data()));
  blobs->WriteRecordBlobs(kSession, record.data());
  Commit();
  ASSERT_EQ(BlobPagesInUse(), 1);

  // Setting an empty value marks the field NULL; writing deletes the stored value.
  blobs->SetBlobData(record.data(), kMemoField, {});
  EXPECT_TRUE(IsNull(kMemoField, record.data()));
  blobs->WriteRecordBlobs(kSession, record.data());
  Commit();
  EXPECT_EQ(BlobPagesInUse(), 0);
  EXPECT_FALSE(Ref(record.data(), kMemoField).HasValue());

  // A stream opened and not written leaves the value alone.
  Put(record.data(), kMemoField, Text(300, 2));
  blobs->WriteRecordBlobs(kSession, record.data());
  auto stream = blobs->OpenBlob(kSession, record.data(), kMemoField, true, true);
  blobs->CloseBlob(record.data(), kMemoField, *stream);
  blobs->ClearBlobData(record.data(), kMemoField);
  EXPECT_EQ(blobs->CacheEntryCount(), 0);
  EXPECT_EQ(Get(record.data(), kMemoField), Text(300, 2));
}

// ---- The cache --------------------------------------------------------------------------------

TEST_F(BlobTest, CacheEntriesLiveUntilReleased) {
  std::vector<uint8_t> record = NewRecord();
  Put(record.data(), kMemoField, Text(500, 1));
  blobs->WriteRecordBlobs(kSession, record.data());

  // Reading caches the value; clearing drops it, but never a modified one unless forced.
  EXPECT_EQ(blobs->GetBlobData(kSession, record.data(), kMemoField).Data.size(), 500u);
  EXPECT_EQ(blobs->CacheEntryCount(), 1);
  blobs->ClearBlobData(record.data(), kMemoField);
  EXPECT_EQ(blobs->CacheEntryCount(), 0);

  Put(record.data(), kMemoField, Text(600, 2));
  blobs->ClearBlobData(record.data(), kMemoField);
  EXPECT_EQ(blobs->CacheEntryCount(), 1);
  EXPECT_QDX_ERROR(blobs->CheckCacheReleased(), 20150, "Blob cache not released");
  // A copy of the buffer names the entry only while it is listed.
  std::vector<uint8_t> copy = record;
  blobs->FreeBlobCaches(record.data());
  EXPECT_EQ(blobs->CacheEntryCount(), 0);
  EXPECT_EQ(blobs->CacheEntry(copy.data(), kMemoField), nullptr);
  EXPECT_EQ(Get(record.data(), kMemoField), Text(500, 1));
}

// A stream reads the cached form where the entry keeps it; writing to it changes a copy, never
// the entry (another stream over the same value still reads the old bytes), and a released
// entry stays readable through the streams that share it.
TEST_F(BlobTest, StreamsShareTheCachedFormUntilTheyWrite) {
  for (const uint8_t algorithm : {kCompressionNone, kCompressionZlib}) {
    SCOPED_TRACE(int{algorithm});
    SetCompression(algorithm, 6, 3000);
    std::vector<uint8_t> record = NewRecord();
    const std::vector<uint8_t> before = Text(10000, 1), extra = Text(500, 2);
    Put(record.data(), kMemoField, before);
    blobs->WriteRecordBlobs(kSession, record.data());
    Commit();

    auto reader = blobs->OpenBlob(kSession, record.data(), kMemoField, true, true);
    auto writer = blobs->OpenBlob(kSession, record.data(), kMemoField, true, false);
    ASSERT_EQ(blobs->CacheEntryCount(), 1);
    const TQDXBlobCacheEntry* entry = blobs->CacheEntry(record.data(), kMemoField);
    const std::vector<uint8_t> form = entry->Data;
    ASSERT_EQ(writer->Seek(0, soFromEnd), 10000);
    ASSERT_EQ(writer->Write(extra.data(), 500), 500);
    EXPECT_EQ(entry->Data, form);
    blobs->ClearBlobData(record.data(), kMemoField);
    EXPECT_EQ(blobs->CacheEntryCount(), 0);

    std::vector<uint8_t> read(10000);
    ASSERT_EQ(reader->Size(), 10000);
    ASSERT_EQ(reader->Read(read.data(), 10000), 10000);
    EXPECT_EQ(read, before);
    blobs->CloseBlob(record.data(), kMemoField, *reader);
    blobs->CloseBlob(record.data(), kMemoField, *writer);
    blobs->WriteRecordBlobs(kSession, record.data());
    Commit();
    std::vector<uint8_t> after = before;
    after.insert(after.end(), extra.begin(), extra.end());
    EXPECT_EQ(Get(record.data(), kMemoField), after);
    blobs->DeleteRecordBlobs(kSession, record.data());
    Commit();
  }
  EXPECT_EQ(BlobPagesInUse(), 0);
}

// A value's compressed form is taken from the stream it was written to, in memory or, past
// 1 MiB without keepInMemory, from the temporary file the stream moved to: the same bytes
// either way.
TEST_F(BlobTest, WrittenFormsAreKeptWholeFromMemoryAndFromATemporaryFile) {
  for (const uint8_t algorithm : {kCompressionNone, kCompressionZlib}) {
    for (const bool keepInMemory : {true, false}) {
      SCOPED_TRACE(::testing::Message() << int{algorithm} << " keepInMemory " << keepInMemory);
      SetCompression(algorithm, 1, 65536);
      // Random bytes do not compress: the form stays past the 1 MiB of the temporary stream.
      const std::vector<uint8_t> value = RandomBytes((3 << 19) + 3, 7);
      std::vector<uint8_t> record = NewRecord();
      std::unique_ptr<TQDXBlobValueStream> stream =
          blobs->OpenBlob(kSession, record.data(), kBinaryField, false, keepInMemory);
      ASSERT_EQ(stream->Write(value.data(), static_cast<int32_t>(value.size())),
                static_cast<int32_t>(value.size()));
      blobs->CloseBlob(record.data(), kBinaryField, *stream);
      const TQDXBlobCacheEntry* entry = blobs->CacheEntry(record.data(), kBinaryField);
      ASSERT_NE(entry, nullptr);
      EXPECT_EQ(static_cast<int64_t>(entry->Data.size()), stream->StoredSize());
      stream.reset();
      blobs->WriteRecordBlobs(kSession, record.data());
      Commit();
      EXPECT_EQ(Get(record.data(), kBinaryField), value);
      blobs->DeleteRecordBlobs(kSession, record.data());
      Commit();
    }
  }
  EXPECT_EQ(BlobPagesInUse(), 0);
}

TEST_F(BlobTest, RawValuesCopyBetweenBuffers) {
  SetCompression(kCompressionZlib, 6, 1000);
  std::vector<uint8_t> source = NewRecord(), target = NewRecord();
  Put(source.data(), kMemoField, Text(5000, 1));
  blobs->WriteRecordBlobs(kSession, source.data());
  const TQDXBlobValue value = blobs->GetBlobData(kSession, source.data(), kMemoField);
  EXPECT_EQ(value.UncompressedSize, 5000);
  EXPECT_EQ(value.DataLength, static_cast<int64_t>(value.Data.size()));
  EXPECT_EQ(value.StoredSize, value.DataLength);
  blobs->SetBlobData(target.data(), kMemoField, value);
  blobs->WriteRecordBlobs(kSession, target.data());
  blobs->ClearBlobData(source.data(), kMemoField);
  Commit();
  EXPECT_NE(Ref(target.data(), kMemoField).BlobID, Ref(source.data(), kMemoField).BlobID);
  EXPECT_EQ(Get(target.data(), kMemoField), Text(5000, 1));

  // Sizes that cannot describe the data are refused before they reach a record.
  TQDXBlobValue bad = value;
  bad.StoredSize += 1;
  EXPECT_QDX_ERROR(blobs->SetBlobData(target.data(), kMemoField, bad), 20248,
                   "Invalid blob field size");
  bad = value;
  bad.UncompressedSize = -1;
  EXPECT_QDX_ERROR(blobs->SetBlobData(target.data(), kMemoField, bad), 20248, "");
  EXPECT_EQ(blobs->CacheEntryCount(), 0);
}

TEST_F(BlobTest, RefusesWhatAValueCannotBe) {
  std::vector<uint8_t> record = NewRecord();
  fields.FieldDefs().GetFieldDef(kMemoField).BlobBlockSize = 0;
  EXPECT_QDX_ERROR(blobs->OpenBlob(kSession, record.data(), kMemoField, false, true), 20149,
                   "Stream block size = 0 is not allowed");
  EXPECT_QDX_ERROR(blobs->OpenBlob(kSession, record.data(), 0, false, true), 20171,
                   "Cannot find blob field");

  // A reference to an ID its page does not have reads as nothing.
  Put(record.data(), kBinaryField, RandomBytes(10, 1));
  blobs->WriteRecordBlobs(kSession, record.data());
  TQDXBlobRef ref = Ref(record.data(), kBinaryField);
  ref.BlobID = 77;
  SetRef(record.data(), kBinaryField, ref);
  EXPECT_QDX_ERROR(blobs->OpenBlob(kSession, record.data(), kBinaryField, true, true), 20162,
                   "Cannot read BLOB field value");
  EXPECT_QDX_ERROR(blobs->GetBlobData(kSession, record.data(), kBinaryField), 20291,
                   "Cannot read BLOB field value");
  EXPECT_QDX_ERROR(blobs->DeleteRecordBlobs(kSession, record.data()), 20171, "");
  EXPECT_EQ(blobs->CacheEntryCount(), 0);
}

// ---- ID 255 -----------------------------------------------------------------------------------

TEST_F(BlobTest, AmbiguousIDIsResolvedByThePagesShape) {
  // A small value stored under ID 255 (as older files have them) and a large value whose
  // reference carries 255 instead of -1 both read back and delete cleanly.
  std::vector<uint8_t> small = NewRecord(), large = NewRecord();
  Put(small.data(), kMemoField, Text(700, 1));
  Put(large.data(), kBinaryField, RandomBytes(30000, 2));
  blobs->WriteRecordBlobs(kSession, small.data());
  blobs->WriteRecordBlobs(kSession, large.data());
  {
    TQDXBlobRef ref = Ref(small.data(), kMemoField);
    TQDXPageHandle page = TQDXPageHandle::Get(*pages, kSession, ref.PageNo, true, ptTableBlob);
    le::Store<int16_t>(page->Data() + kBlobPageEntriesOffset, kAmbiguousBlobID);
    page->Dirty = true;
    ref.BlobID = kAmbiguousBlobID;
    SetRef(small.data(), kMemoField, ref);
    ref = Ref(large.data(), kBinaryField);
    ref.BlobID = kAmbiguousBlobID;
    SetRef(large.data(), kBinaryField, ref);
  }
  Commit();
  EXPECT_EQ(Get(small.data(), kMemoField), Text(700, 1));
  EXPECT_EQ(Get(large.data(), kBinaryField), RandomBytes(30000, 2));
  blobs->DeleteRecordBlobs(kSession, small.data());
  blobs->DeleteRecordBlobs(kSession, large.data());
  Commit();
  EXPECT_EQ(BlobPagesInUse(), 0);
}

// ---- Emptying and deleting --------------------------------------------------------------------

TEST_F(BlobTest, EmptyingAndDeletingLeaveNoPageBehind) {
  auto fill = [&] {
    for (int32_t key = 0; key < 30; ++key) {
      std::vector<uint8_t> record = NewRecord();
      Put(record.data(), kMemoField, Text(static_cast<size_t>(key * 400), key));
      if (key % 3 == 0) Put(record.data(), kBinaryField, RandomBytes(key * 1000, key));
      blobs->WriteRecordBlobs(kSession, record.data());
      records.records[key] = record;
    }
    Commit();
    ASSERT_GT(BlobPagesInUse(), 10);
  };
  fill();
  blobs->EmptyValues(kSession, records);
  Commit();
  EXPECT_EQ(BlobPagesInUse(), 0);
  EXPECT_GE(blobs->IndexRootPageNo(), 0);
  records.records.clear();  // as the records are emptied next

  // The emptied index takes values again; deleting drops it too.
  fill();
  blobs->DeleteValues(kSession, records);
  Commit();
  EXPECT_EQ(blobs->IndexRootPageNo(), -1);
  std::map<uint16_t, int32_t> base = basePagesInUse;
  base.erase(ptTableIndex);
  std::map<uint16_t, int32_t> now = PagesInUse();
  now.erase(ptTableBlob);
  EXPECT_EQ(now, base);
  EXPECT_EQ(BlobPagesInUse(), 0);
}

// ---- A random run against a model -------------------------------------------------------------

TEST_F(BlobTest, RandomChangesMatchAModelAcrossReopens) {
  const char* steps = std::getenv("QDX_BLOB_STEPS");
  const int32_t count = steps != nullptr ? std::atoi(steps) : 400;
  std::mt19937 random(20);
  // Memo values compressed in several blocks, binary ones plain.
  fields.FieldDefs().GetFieldDef(kMemoField).BlobCompressionAlgorithm = kCompressionZlib;
  fields.FieldDefs().GetFieldDef(kMemoField).BlobBlockSize = 5000;
  // The model: the value of each field of each record; none for NULL.
  std::map<int32_t, std::array<std::optional<std::vector<uint8_t>>, 3>> model;
  auto randomValue = [&] {
    const uint32_t kind = random() % 10;
    size_t size = kind < 5 ? random() % 3000 : kind < 9 ? random() % 20000 : random() % 90000;
    if (kind == 0) size = 0;
    return kind % 2 == 0 ? Text(size, random()) : RandomBytes(size, random());
  };
  for (int32_t step = 0; step < count; ++step) {
    const uint32_t op = random() % 10;
    const int32_t key = static_cast<int32_t>(random() % 40);
    if (op == 9 && records.records.contains(key)) {
      blobs->DeleteRecordBlobs(kSession, records.records[key].data());
      records.records.erase(key);
      model.erase(key);
    } else {
      if (!records.records.contains(key)) records.records[key] = NewRecord();
      uint8_t* record = records.records[key].data();
      const int32_t fieldNo = op % 2 == 0 ? kMemoField : kBinaryField;
      const std::vector<uint8_t> value = randomValue();
      Put(record, fieldNo, value);
      blobs->WriteRecordBlobs(kSession, record);
      if (value.empty()) {
        model[key][fieldNo].reset();
      } else {
        model[key][fieldNo] = value;
      }
    }
    if (random() % 5 == 0) Commit();
    if (random() % 40 == 0) {
      Commit();
      Reopen();
    }
  }
  Commit();
  Reopen();
  for (auto& [key, record] : records.records) {
    for (int32_t fieldNo : {kMemoField, kBinaryField}) {
      SCOPED_TRACE(::testing::Message() << "record " << key << " field " << fieldNo);
      EXPECT_EQ(Get(record.data(), fieldNo), model[key][fieldNo]);
    }
  }
  blobs->EmptyValues(kSession, records);
  Commit();
  EXPECT_EQ(BlobPagesInUse(), 0);
}

// ---- Damaged pages ----------------------------------------------------------------------------

class DamagedBlobTest : public BlobTest {
 protected:
  static constexpr int64_t kPageArea = 380;
  static constexpr int64_t kPageSize = 4096;
  static constexpr int64_t kPageHeader = 40;

  // Small values sharing a page (memo, compressed), large ones plain: one with its list in its
  // last data page, one whose list starts a new page, one with a list split between pages.
  void StoreValues() {
    fields.FieldDefs().GetFieldDef(kMemoField).BlobCompressionAlgorithm = kCompressionZlib;
    fields.FieldDefs().GetFieldDef(kMemoField).BlobBlockSize = 700;
    const size_t sizes[] = {9000, kHeadRoom + kData, kHeadRoom + 2 * kData - 2};
    for (int32_t key = 0; key < 3; ++key) {
      std::vector<uint8_t> record = NewRecord();
      Put(record.data(), kMemoField, Text(1500, key));
      Put(record.data(), kBinaryField, RandomBytes(sizes[key], key));
      blobs->WriteRecordBlobs(kSession, record.data());
      records.records[key] = record;
    }
    Commit();
    const int32_t count = pages->GetPageCount();
    for (int32_t pageNo = 2; pageNo < count; ++pageNo) {
      if (pages->IsSystemPage(pageNo) || !pages->FreeSpaceManager()->IsPageUsed(pageNo)) continue;
      TQDXPageHandle page = TQDXPageHandle::Get(*pages, kSession, pageNo, true, kAnyPageType);
      if (page->PageType() == ptTableBlob) blobPages.push_back(pageNo);
    }
    Close();
    pristine = ReadAll();
  }

  // Reads and deletes every value; answers how many operations failed. Anything but an
  // EQDXException fails the test.
  int32_t ReadAndDeleteAll() {
    int32_t failures = 0;
    for (auto& [key, stored] : records.records) {
      std::vector<uint8_t> record = stored;
      for (int32_t fieldNo : {kMemoField, kBinaryField}) {
        try {
          Get(record.data(), fieldNo);
        } catch (const EQDXException&) {
          ++failures;
        }
      }
      try {
        blobs->DeleteRecordBlobs(kSession, record.data());
      } catch (const EQDXException&) {
        ++failures;
      }
      blobs->FreeBlobCaches(record.data());
    }
    return failures;
  }

  int64_t DataPosition(int32_t pageNo, int64_t offset) const {
    return kPageArea + pageNo * kPageSize + kPageHeader + offset;
  }

  std::vector<int32_t> blobPages;
  std::vector<uint8_t> pristine;
};

TEST_F(DamagedBlobTest, RandomDamageGivesErrorsNeverCrashes) {
  StoreValues();
  const char* rounds = std::getenv("QDX_BLOB_DAMAGE_ROUNDS");
  const int32_t count = rounds != nullptr ? std::atoi(rounds) : 60;
  std::mt19937 random(5);
  int32_t failed = 0;
  for (int32_t round = 0; round < count; ++round) {
    WriteAll(pristine);
    const int32_t changes = 1 + static_cast<int32_t>(random() % 4);
    for (int32_t i = 0; i < changes; ++i) {
      const int32_t pageNo = blobPages[random() % blobPages.size()];
      // Mostly the heads, where counts, lengths and page numbers lie.
      const int64_t offset = random() % 2 == 0 ? random() % 48 : random() % kData;
      uint8_t value = static_cast<uint8_t>(random());
      if (random() % 3 == 0) value = random() % 2 == 0 ? 0xFF : 0x7F;
      Patch(DataPosition(pageNo, offset), {value});
    }
    Open();
    SCOPED_TRACE(round);
    failed += ReadAndDeleteAll() > 0;
    Close();
  }
  EXPECT_GT(failed, 0);
}

TEST_F(DamagedBlobTest, DamagedHeadsAndListsAreRefusedBeforeAnyPageIsFreed) {
  StoreValues();
  Open();
  const TQDXBlobRef ref = Ref(records.records[1].data(), kBinaryField);
  const TQDXLargeBlobPages layout = blobs->Store().ReadLargePages(kSession, ref.PageNo);
  Close();
  ASSERT_TRUE(layout.Plan.ListInNewPage);
  const int32_t listPage = layout.ListPages[0];

  struct Damage {
    const char* Name;
    int64_t Position;
    std::vector<uint8_t> Bytes;
    int32_t Code;
  };
  const Damage cases[] = {
      {"list count", DataPosition(ref.PageNo, 28), {9, 0, 0, 0}, 20312},
      {"list offset", DataPosition(ref.PageNo, 26), {4, 0}, 20312},
      {"data length", DataPosition(ref.PageNo, 6), {0, 0, 0, 0, 0, 1, 0, 0}, 20312},
      {"list naming a page twice",
       DataPosition(listPage, 4),
       {static_cast<uint8_t>(ref.PageNo), 0, 0, 0},
       20312},
      {"list naming a page beyond the file", DataPosition(listPage, 4), {0, 0, 0, 0x40}, 20312},
      {"list not naming the header page first", DataPosition(listPage, 0), {3, 0, 0, 0}, 20312},
  };
  for (const Damage& damage : cases) {
    SCOPED_TRACE(damage.Name);
    WriteAll(pristine);
    Patch(damage.Position, damage.Bytes);
    Open();
    std::vector<uint8_t> record = records.records[1];
    SetNull(true, kMemoField, record.data());  // only the large value
    EXPECT_QDX_ERROR(blobs->DeleteRecordBlobs(kSession, record.data()), damage.Code, "");
    blobs->FreeBlobCaches(record.data());
    EXPECT_FALSE(pages->HasPendingChanges(kSession));
    Close();
  }

  // A shared page whose count promises more entries than it holds.
  WriteAll(pristine);
  const TQDXBlobRef small = Ref(records.records[0].data(), kMemoField);
  Patch(DataPosition(small.PageNo, 0), {0xFF, 0x00});
  Open();
  std::vector<uint8_t> record = records.records[0];
  EXPECT_QDX_ERROR(Get(record.data(), kMemoField), 20311, "Invalid blob page");
  EXPECT_EQ(blobs->CacheEntryCount(), 0);
}

}  // namespace
}  // namespace qdx
