// BLOB fields of disk tables through the table data: values stored with the record, read back
// after reopening, replaced and deleted with it, and no BLOB page left once the table is emptied
// or deleted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/core/page_handle.h"
#include "engine/disk/disk_blob_manager_stream.h"
#include "engine/disk/disk_page_manager.h"
#include "engine/disk/disk_table_data.h"
#include "engine/disk/free_space_manager.h"
#include "engine/foundation/memory_stream.h"
#include "tests/disk/disk_table_blob_support.h"

namespace qdx {
namespace {

using testing::TDiskCursor;
using testing::TDiskTableTest;
using TValue = testing::TBlobValue;

constexpr int32_t kNote = 1;  // MEMO, compressed
constexpr int32_t kScan = 2;  // BLOB, plain

std::vector<uint8_t> Bytes(size_t size, uint32_t seed, bool text) {
  return testing::BlobBytes(size, seed, text);
}

class DiskTableBlobTest : public TDiskTableTest {
 protected:
  void SetUp() override {
    TDiskTableTest::SetUp();
    Open();
    baseline = PagesInUse();
    TQDXFieldDefs fields;
    fields.AddField("Name", TQDXFieldType::String, 20);
    TQDXFieldDef& note = fields.AddField("Note", TQDXFieldType::Memo);
    note.BlobCompressionAlgorithm = kCompressionZlib;
    note.BlobCompressionMode = 6;
    note.BlobBlockSize = 4000;
    fields.AddField("Scan", TQDXFieldType::Blob).BlobCompressionAlgorithm = kCompressionNone;
    CreateTable(*database, "Belege", fields, TQDXIndexDefs());
  }

  static void Put(TDiskCursor& cursor, int32_t fieldNo, const TValue& value) {
    testing::PutBlob(cursor, fieldNo, value);
  }
  static TValue Get(TDiskCursor& cursor, int32_t fieldNo) {
    if (IsNull(fieldNo, cursor.Buffer)) return std::nullopt;
    std::unique_ptr<TQDXStream> stream = cursor.Table().OpenBlob(cursor, true, 1, fieldNo);
    std::vector<uint8_t> value(static_cast<size_t>(stream->Size()));
    if (!value.empty()) stream->Read(value.data(), static_cast<int32_t>(value.size()));
    cursor.Table().ClearBlobData(cursor, fieldNo, cursor.Buffer);
    return value;
  }
  void Insert(TDiskCursor& cursor, const std::string& name, const TValue& note,
              const TValue& scan) {
    InitRecordBuffer(cursor.Fields(), cursor.Buffer);
    char text[21] = {};
    name.copy(text, 20);
    SetFieldData(0, cursor.Fields(), text, cursor.Buffer);
    if (note) Put(cursor, kNote, note);
    if (scan) Put(cursor, kScan, scan);
    ASSERT_TRUE(cursor.Table().InsertRecord(cursor));
  }
  // Name -> (note, scan) of every record, read in physical order.
  std::map<std::string, std::pair<TValue, TValue>> ReadAll(TDiskCursor& cursor) {
    std::map<std::string, std::pair<TValue, TValue>> all;
    cursor.AtBOF = true;
    cursor.AtEOF = false;
    while (cursor.Table().GetRecord(cursor, grmNext) == grOK) {
      char text[21] = {};
      GetFieldData(0, cursor.Fields(), text, cursor.Buffer);
      all[text] = {Get(cursor, kNote), Get(cursor, kScan)};
    }
    return all;
  }
  static void Find(TDiskCursor& cursor, const std::string& name) {
    testing::FindByName(cursor, name);
  }
  std::map<uint16_t, int32_t> PagesInUse() { return testing::PagesInUse(*database); }
  int32_t BlobPagesInUse() { return PagesInUse()[ptTableBlob]; }

  std::map<uint16_t, int32_t> baseline;
};

TEST_F(DiskTableBlobTest, ValuesLiveWithTheirRecords) {
  std::map<std::string, std::pair<TValue, TValue>> model;
  {
    TDiskCursor cursor(*database, session, "Belege");
    for (int i = 0; i < 24; ++i) {
      const std::string name = "Beleg " + std::to_string(i);
      TValue note = Bytes(static_cast<size_t>(i * 700), i, true);
      TValue scan = i % 3 == 0 ? TValue() : TValue(Bytes(static_cast<size_t>(i * 2500), i, false));
      if (i == 0) note = std::nullopt;
      Insert(cursor, name, note, scan);
      model[name] = {note, scan};
    }
    EXPECT_EQ(ReadAll(cursor), model);
  }
  Reopen();
  {
    TDiskCursor cursor(*database, session, "Belege");
    EXPECT_EQ(ReadAll(cursor), model);
    // Grow one value, shrink another, clear a third; delete two records.
    Find(cursor, "Beleg 5");
    Put(cursor, kScan, Bytes(90000, 99, false));
    ASSERT_TRUE(cursor.Table().UpdateRecord(cursor));
    model["Beleg 5"].second = Bytes(90000, 99, false);
    Find(cursor, "Beleg 22");
    Put(cursor, kScan, Bytes(10, 98, false));
    Put(cursor, kNote, std::nullopt);
    ASSERT_TRUE(cursor.Table().UpdateRecord(cursor));
    model["Beleg 22"] = {std::nullopt, Bytes(10, 98, false)};
    for (const char* name : {"Beleg 7", "Beleg 8"}) {
      Find(cursor, name);
      ASSERT_TRUE(cursor.Table().DeleteRecord(cursor));
      model.erase(name);
    }
  }
  Reopen();
  TDiskCursor cursor(*database, session, "Belege");
  EXPECT_EQ(ReadAll(cursor), model);
  // Deleting every record frees every BLOB page.
  while (!model.empty()) {
    Find(cursor, model.begin()->first);
    ASSERT_TRUE(cursor.Table().DeleteRecord(cursor));
    model.erase(model.begin());
  }
  EXPECT_EQ(BlobPagesInUse(), 0);
}

TEST_F(DiskTableBlobTest, EmptiedAndDeletedTablesLeaveNoBlobPage) {
  auto fill = [&] {
    TDiskCursor cursor(*database, session, "Belege");
    for (int i = 0; i < 12; ++i) {
      Insert(cursor, "Beleg " + std::to_string(i), Bytes(static_cast<size_t>(i * 900), i, true),
             Bytes(static_cast<size_t>(i * 3000), i, false));
    }
  };
  fill();
  ASSERT_GT(BlobPagesInUse(), 5);
  {
    TQDXTableCursor emptier;
    emptier.Session = &session;
    emptier.TableName = "Belege";
    database->GetTableData(emptier)->EmptyTable(emptier);
  }
  EXPECT_EQ(BlobPagesInUse(), 0);
  Reopen();
  fill();  // the emptied table takes values again
  {
    TDiskCursor cursor(*database, session, "Belege");
    EXPECT_EQ(ReadAll(cursor).size(), 12u);
  }
  TQDXTableCursor deleter;
  deleter.Session = &session;
  deleter.TableName = "Belege";
  database->GetTableData(deleter)->DeleteTable(nullptr, false);
  std::map<uint16_t, int32_t> now = PagesInUse();
  EXPECT_EQ(now[ptTableBlob], 0);
  now.erase(ptTableBlob);
  EXPECT_EQ(now, baseline);
}

TEST_F(DiskTableBlobTest, StreamsAndCachedValuesBelongToTheTable) {
  TDiskCursor cursor(*database, session, "Belege");
  Insert(cursor, "Beleg", Bytes(3000, 1, true), std::nullopt);
  // Only the table's own streams are taken back.
  TQDXMemoryStream foreign;
  EXPECT_EQ(testing::QdxErrorCode([&] { cursor.Table().CloseBlob(cursor, kNote, foreign); }),
            20324);
  // A value set but not yet stored survives FreeBlobCache, not FreeBlobCaches.
  Put(cursor, kNote, Bytes(10, 2, true));
  cursor.Table().FreeBlobCache(cursor.Buffer, kNote);
  EXPECT_EQ(cursor.Table().Blobs().CacheEntryCount(), 1);
  cursor.Table().FreeRecordBuffer(cursor.Buffer);
  EXPECT_EQ(cursor.Table().Blobs().CacheEntryCount(), 0);
}

// The last cursor leaving the table while a record buffer still holds a BLOB value is reported
// with 20150; the table closes all the same and opens again with its values.
TEST_F(DiskTableBlobTest, ClosingTheTableWithABlobValueStillHeldIsReported) {
  const std::vector<uint8_t> note = Bytes(3000, 1, true);
  {
    TDiskCursor writer(*database, session, "Belege");
    Insert(writer, "Beleg", note, std::nullopt);
  }
  TQDXTableCursor reader;
  reader.Session = &session;
  reader.TableName = "Belege";
  auto* data = static_cast<TQDXDiskTableData*>(database->GetTableData(reader));
  data->RegisterCursor(reader);
  std::vector<uint8_t> buffer(static_cast<size_t>(data->MemoryRecordSize()));
  std::vector<uint8_t> key(buffer.size());
  reader.Buffer = buffer.data();
  reader.KeyBuffer = key.data();
  reader.AtBOF = true;
  reader.AtEOF = false;
  ASSERT_EQ(data->GetRecord(reader, grmNext), grOK);
  std::unique_ptr<TQDXStream> stream = data->OpenBlob(reader, true, 1, kNote);
  stream.reset();
  ASSERT_GT(data->Blobs().CacheEntryCount(), 0);
  EXPECT_QDX_ERROR(data->UnregisterCursor(reader), 20150, "Blob cache not released");
  EXPECT_FALSE(data->IsOpen());

  TDiskCursor again(*database, session, "Belege");
  EXPECT_EQ(ReadAll(again).at("Beleg").first, TValue(note));
}

}  // namespace
}  // namespace qdx
