// Helpers of the disk table tests: a database file in a temporary folder opened by a session,
// the table "Kosten" (Name STRING(20), Amount INTEGER, Serial AUTOINC; index ByAmount), and a
// cursor that opens a table for as long as it lives.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/core/base_session.h"
#include "engine/core/record_layout.h"
#include "engine/core/table_cursor.h"
#include "engine/disk/disk_database_data.h"
#include "engine/disk/disk_table_data.h"
#include "tests/disk/disk_test_support.h"

namespace qdx::testing {

struct TRow {
  std::optional<std::string> name;
  std::optional<int32_t> amount;
  bool operator==(const TRow&) const = default;
};

// A cursor with its own buffers that has its table open from construction to destruction.
class TDiskCursor : public TQDXTableCursor {
 public:
  TDiskCursor(TQDXDatabaseData& database, TQDXBaseSession& session, const std::string& table,
              bool exclusive = false, uint8_t tableDataFlag = 0) {
    Session = &session;
    TableName = table;
    Exclusive = exclusive;
    TableDataFlag = tableDataFlag;
    data_ = static_cast<TQDXDiskTableData*>(database.GetTableData(*this));
    data_->RegisterCursor(*this);
    buffer_.assign(static_cast<size_t>(data_->MemoryRecordSize()), 0);
    key_.assign(static_cast<size_t>(data_->MemoryRecordSize()), 0);
    Buffer = buffer_.data();
    KeyBuffer = key_.data();
  }
  // The BLOB values its buffer holds are let go first: closing the table with any still held
  // is refused.
  ~TDiskCursor() override {
    data_->FreeBlobCaches(Buffer);
    data_->UnregisterCursor(*this);
  }

  TQDXDiskTableData& Table() const { return *data_; }
  const TQDXFieldDefs& Fields() const { return data_->FieldManager().FieldDefs(); }
  int32_t IndexID(const char* name) const {
    return data_->IndexManager().IndexDefs().FindIndex(name)->ObjectID();
  }

  void Fill(const TRow& row) {
    InitRecordBuffer(Fields(), Buffer);
    char text[21] = {};
    if (row.name) row.name->copy(text, 20);
    SetFieldData(0, Fields(), row.name ? text : nullptr, Buffer);
    SetFieldData(1, Fields(), row.amount ? &*row.amount : nullptr, Buffer);
  }
  TRow Row() const {
    TRow row;
    char text[21] = {};
    if (GetFieldData(0, Fields(), text, Buffer)) row.name = text;
    int32_t amount = 0;
    if (GetFieldData(1, Fields(), &amount, Buffer)) row.amount = amount;
    return row;
  }
  TQDXRecordID Insert(const TRow& row) {
    Fill(row);
    EXPECT_TRUE(data_->InsertRecord(*this));
    return RecordID;
  }
  // Every record in the cursor's order from the beginning.
  std::vector<TRow> ReadAll() {
    std::vector<TRow> rows;
    AtBOF = true;
    AtEOF = false;
    while (data_->GetRecord(*this, grmNext) == grOK) rows.push_back(Row());
    return rows;
  }

 private:
  TQDXDiskTableData* data_;
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> key_;
};

class TDiskTableTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    CreateDatabase();
  }
  void TearDown() override {
    Close();
    TempDirTest::TearDown();
  }

  void CreateDatabase(uint16_t pageSize = 4096) {
    TQDXDiskDatabaseData creator(path);
    creator.PageSize = pageSize;
    creator.MaxConnections = 8;
    creator.CreateDatabase();
  }
  // Opens the database for `session` in a database data object of its own (another object
  // on the same file behaves as another process would).
  std::unique_ptr<TQDXDiskDatabaseData> OpenData(TQDXBaseSession& session, bool multiUser) {
    auto data = std::make_unique<TQDXDiskDatabaseData>(path);
    data->LockRetryCount = 3;
    data->LockRetryPause = 1;
    session.SetMultiUser(multiUser);
    data->AddSession(session);
    return data;
  }
  void Open(bool multiUser = false) { database = OpenData(session, multiUser); }
  void Close() {
    if (database) database->RemoveSession(session);
    database.reset();
  }
  void Reopen() {
    Close();
    Open();
  }

  static std::unique_ptr<TQDXFieldDefs> KostenFields() {
    auto fields = std::make_unique<TQDXFieldDefs>();
    fields->AddField("Name", TQDXFieldType::String, 20);
    fields->AddField("Amount", TQDXFieldType::Integer);
    fields->AddField("Serial", TQDXFieldType::AutoInc);
    return fields;
  }
  static std::unique_ptr<TQDXIndexDefs> AmountIndex() {
    auto indexes = std::make_unique<TQDXIndexDefs>();
    auto& amount = static_cast<TQDXIndexDef&>(indexes->AddCreated());
    amount.SetName("ByAmount");
    amount.SetColumnsFromLists({"Amount"}, {"ASC"}, {""});
    return indexes;
  }
  void CreateTable(TQDXDatabaseData& data, const std::string& name, const TQDXFieldDefs& fields,
                   const TQDXIndexDefs& indexes) {
    TQDXTableCursor creator;
    creator.Session = &session;
    creator.TableName = name;
    TQDXTableData* table = data.GetTableData(creator);
    table->CreateTable(creator, fields, TQDXConstraintDefs(), indexes);
  }
  void CreateKosten() { CreateTable(*database, "Kosten", *KostenFields(), *AmountIndex()); }

  std::vector<std::string> TableNames() {
    std::vector<std::string> names;
    database->GetTableNames(names);
    return names;
  }

  TQDXBaseSession session;
  std::unique_ptr<TQDXDiskDatabaseData> database;
};

}  // namespace qdx::testing
