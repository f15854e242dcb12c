// Helpers of the local session and cursor tests: a database per test, sessions connected to it,
// and a cursor that allocates its buffers and edits records as the dataset layer does.
//
// The table "Kosten": Name STRING(20) NOT NULL, Amount INTEGER, Serial AUTOINC, Note MEMO; the
// index ByName (Name) and ByAmount (Amount, descending).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dataset/local_engine/local_blob_stream.h"
#include "dataset/local_engine/local_cursor.h"
#include "dataset/local_engine/local_session.h"
#include "engine/core/database_data.h"
#include "engine/core/record_layout.h"
#include "tests/core/memory_table.h"
#include "tests/disk/disk_test_support.h"
#include "tests/foundation/locale_pin.h"
#include "tests/qdx_test_support.h"

namespace qdx::testing {

inline constexpr int32_t kName = 0;
inline constexpr int32_t kAmount = 1;
inline constexpr int32_t kSerial = 2;
inline constexpr int32_t kNote = 3;

// Lock waits of a few milliseconds, so that a refused lock is reported at once.
inline LocalLockTiming ShortLockTiming() {
  LocalLockTiming timing;
  timing.EditTableTries = 5;
  timing.EditTablePauseMs = 2;
  timing.PostTableTries = 5;
  timing.PostTablePauseMs = 2;
  timing.RecordTries = 5;
  timing.RecordPauseMs = 2;
  timing.DatabaseRetryCount = 50;
  timing.DatabaseRetryPauseMs = 2;
  timing.Commit.CommitTries = 5;
  timing.Commit.CommitPauseMs = 2;
  return timing;
}

// A cursor on one table with a current and an old-record buffer of its own.
class TableCursor : public TQDXLocalCursor {
 public:
  TableCursor(TQDXLocalSession& session, std::string_view tableName) : TQDXLocalCursor(session) {
    TableName = std::string(tableName);
  }
  ~TableCursor() override {
    if (IsOpen()) {
      FreeRecordBuffer(buffer_);
      FreeRecordBuffer(old_);
    }
  }

  void Open() {
    OpenTable();
    buffer_ = AllocRecordBuffer();
    old_ = AllocRecordBuffer();
    Buffer = buffer_.get();
    OldRecord = old_.get();
  }

  // ---- Fields of the current buffer
  void SetText(int32_t fieldNo, std::string_view text) {
    TQDXVariant value(TQDXDataType::String);
    value.SetAsString(text);
    SetFieldValue(fieldNo, value);
  }
  void SetInt(int32_t fieldNo, int32_t number) {
    TQDXVariant value(TQDXDataType::Integer);
    value.SetAsInteger(number);
    SetFieldValue(fieldNo, value);
  }
  void SetNullValue(int32_t fieldNo) { SetFieldValue(fieldNo, TQDXVariant()); }
  std::string Text(int32_t fieldNo) const {
    TQDXVariant value;
    GetFieldValue(fieldNo, value);
    return value.IsNull() ? "<null>" : value.AsString();
  }
  int64_t Int(int32_t fieldNo) const {
    TQDXVariant value;
    GetFieldValue(fieldNo, value);
    return value.IsNull() ? -1 : value.AsLargeInt();
  }

  // ---- The dataset layer's steps
  // Insert and post; answers the result code.
  int32_t Insert(std::string_view name, int32_t amount) {
    InitRecord(Buffer, true);
    SetRecordFlag(Buffer, RecordPositionFlag::Inserted);
    SetText(kName, name);
    SetInt(kAmount, amount);
    PostRecord(true);
    return ResultCode;
  }
  // Edit begins: the old record is kept for the post.
  int32_t Edit() {
    EditRecord();
    std::memcpy(OldRecord, Buffer, static_cast<size_t>(CompareSize));
    return ResultCode;
  }
  int32_t Post() {
    PostRecord(false);
    return ResultCode;
  }
  int32_t Delete() {
    DeleteRecord();
    return ResultCode;
  }
  // A fetched record gets its bookmark and flag, as the dataset layer writes them.
  bool Fetch(TQDXGetRecordMode mode) {
    if (GetRecord(mode) != grOK) return false;
    SetBookmark(Buffer, RecordID);
    SetRecordFlag(Buffer, RecordPositionFlag::Current);
    return true;
  }
  bool Next() { return Fetch(grmNext); }
  bool Prior() { return Fetch(grmPrior); }
  // The first record whose name is `name`, in the current order; false when none.
  bool GoTo(std::string_view name) {
    First();
    while (Next()) {
      if (Text(kName) == name) return true;
    }
    return false;
  }
  // The names in the current order from the first record on.
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    First();
    while (Next()) names.push_back(Text(kName));
    return names;
  }
  std::vector<std::string> NamesBackwards() {
    std::vector<std::string> names;
    Last();
    while (Prior()) names.push_back(Text(kName));
    return names;
  }

 private:
  RecordBuffer buffer_;
  RecordBuffer old_;
};

// Whether the tables live in the database file; the in-memory test engine stands in for them
// otherwise.
inline constexpr bool kDiskTables = true;

// Every test gets a fresh database file in its own folder.
class LocalEngineTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    locale_ = std::make_unique<ScopedUserLocale>("en_US");
    if (!kDiskTables) {
      memory_ = std::make_unique<TMemoryDatabaseData>();
      DatabaseDataList().Add(memory_.get());
      return;
    }
    TQDXLocalSession creator;
    creator.FileName = path;
    creator.CreateDatabase();
  }
  void TearDown() override {
    memory_.reset();
    locale_.reset();
    TempDirTest::TearDown();
  }

  std::unique_ptr<TQDXLocalSession> Connect(bool multiUser = false,
                                            std::string_view sessionName = {}) {
    auto session = std::make_unique<TQDXLocalSession>();
    session->FileName = path;
    if (!kDiskTables) session->DatabaseName = std::string(kMemoryDatabaseName);
    session->SessionName = std::string(sessionName);
    session->SetMultiUser(multiUser);
    session->LockTiming = ShortLockTiming();
    session->SetConnected(true);
    return session;
  }

  static void CreateKosten(TQDXLocalSession& session, std::string_view name = "Kosten") {
    TQDXFieldDefs fields;
    fields.AddField("Name", TQDXFieldType::String, 20);
    fields.AddField("Amount", TQDXFieldType::Integer);
    TQDXFieldDef& serial = fields.AddField("Serial", TQDXFieldType::AutoInc);
    serial.AutoincInitialValue = 100;
    fields.AddField("Note", TQDXFieldType::Memo);
    TQDXIndexDefs indexes;
    auto& byName = static_cast<TQDXIndexDef&>(indexes.AddCreated());
    byName.SetName("ByName");
    byName.SetColumnsFromLists({"Name"}, {"ASC"}, {""});
    auto& byAmount = static_cast<TQDXIndexDef&>(indexes.AddCreated());
    byAmount.SetName("ByAmount");
    byAmount.SetColumnsFromLists({"Amount"}, {"DESC"}, {""});
    TQDXConstraintDefs constraints;
    constraints.AddNotNull().TargetRef.SetName("Name");
    TQDXLocalCursor creator(session);
    creator.TableName = std::string(name);
    creator.CreateTable(fields, indexes, constraints);
  }

  // Kosten with one record per name, amounts 10, 20, 30 ...
  static void Fill(TableCursor& cursor, const std::vector<std::string>& names) {
    int32_t amount = 10;
    for (const std::string& name : names) {
      ASSERT_EQ(cursor.Insert(name, amount), crOK) << cursor.ResultMessage;
      amount += 10;
    }
  }

 private:
  std::unique_ptr<ScopedUserLocale> locale_;
  std::unique_ptr<TMemoryDatabaseData> memory_;
};

}  // namespace qdx::testing
