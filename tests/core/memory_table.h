// A table engine held in memory for the table data tests: a record manager over a map of record
// positions (freed positions are reused, as a page store reuses slots), a table data that
// supplies the storage slots and runs the shared steps, a database data that makes them, a
// cursor with its own buffers and a filter expression backed by a predicate.
#pragma once

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/core/database_data.h"
#include "engine/core/filter_expression.h"
#include "engine/core/index_manager.h"
#include "engine/core/record_layout.h"
#include "engine/core/record_manager.h"
#include "engine/core/table_cursor.h"
#include "engine/core/table_data.h"
#include "engine/foundation/except.h"
#include "tests/core/memory_page_manager.h"

namespace qdx::testing {

inline constexpr int32_t kRecordsPerPage = 4;

inline int64_t PositionOf(TQDXRecordID id) {
  return int64_t{id.PageNo} * kRecordsPerPage + id.SlotNo;
}
inline TQDXRecordID RecordIDAt(int64_t position) {
  return {static_cast<int32_t>(position / kRecordsPerPage),
          static_cast<uint16_t>(position % kRecordsPerPage)};
}

class TMemoryRecordManager : public TQDXBaseRecordManager {
 public:
  using TQDXBaseRecordManager::TQDXBaseRecordManager;

  void EmptyRecords(int32_t) override {
    rows.clear();
    freed.clear();
    next = 0;
    RecordsEmptied();
  }
  bool InsertRecord(int32_t, const uint8_t* buffer, TQDXRecordID& id) override {
    if (Refuse()) return false;
    int64_t position = next;
    if (!freed.empty()) {
      position = *freed.begin();
      freed.erase(freed.begin());
    } else {
      ++next;
    }
    rows[position].assign(buffer, buffer + MemoryRecordSize);
    id = RecordIDAt(position);
    RecordInserted();
    return true;
  }
  bool UpdateRecord(int32_t, const uint8_t* buffer, TQDXRecordID id) override {
    auto it = rows.find(PositionOf(id));
    if (it == rows.end() || Refuse()) return false;
    it->second.assign(buffer, buffer + MemoryRecordSize);
    RecordUpdated();
    return true;
  }
  bool DeleteRecord(int32_t, TQDXRecordID id) override {
    auto it = rows.find(PositionOf(id));
    if (it == rows.end() || Refuse()) return false;
    freed.insert(it->first);
    rows.erase(it);
    RecordDeleted();
    return true;
  }
  void ReadRecord(int32_t, TQDXNavigationRequest& request) override {
    ++reads;
    auto it = rows.end();
    if (request.Mode == grmCurrent) {
      it = rows.find(PositionOf(request.RecordID));
      if (it == rows.end()) {
        request.Result = grError;
        return;
      }
    } else if (request.Mode == grmNext) {
      if (!request.AtEOF) {
        it = request.AtBOF ? rows.begin() : rows.upper_bound(PositionOf(request.RecordID));
      }
      if (it == rows.end()) {
        request.Result = grEOF;
        request.AtEOF = true;
        request.AtBOF = false;
        return;
      }
    } else {
      auto bound = request.AtEOF ? rows.end() : rows.lower_bound(PositionOf(request.RecordID));
      if (request.AtBOF || bound == rows.begin()) {
        request.Result = grBOF;
        request.AtBOF = true;
        request.AtEOF = false;
        return;
      }
      it = std::prev(bound);
    }
    request.RecordID = RecordIDAt(it->first);
    if (request.Buffer != nullptr) {
      std::memcpy(request.Buffer, it->second.data(), it->second.size());
    }
    request.AtBOF = request.AtEOF = false;
    request.Result = grOK;
  }

  std::map<int64_t, std::vector<uint8_t>> rows;
  std::set<int64_t> freed;
  int64_t next = 0;
  int failAfter = -1;  // the change after this many succeeds no more (-1: never fails)
  int64_t reads = 0;

 private:
  bool Refuse() {
    if (failAfter < 0) return false;
    return failAfter-- == 0;
  }
};

class TMemoryTableData : public TQDXTableData {
 public:
  TMemoryTableData(TQDXDatabaseData& database, TMemoryPageManager& pages,
                   TMemoryPageManager& temporary, std::string name)
      : TQDXTableData(database, pages, std::move(name)), temporary_(&temporary) {
    SetIndexManager(std::make_unique<TQDXBaseIndexManager>(*this, pages, temporary));
  }

  TMemoryRecordManager& Records() { return static_cast<TMemoryRecordManager&>(RecordManager()); }

  void CreateRecordManager() override {
    auto manager = std::make_unique<TMemoryRecordManager>(*this);
    manager->MemoryRecordSize = MemoryRecordSize();
    SetRecordManager(std::move(manager));
  }
  void CreateTable(TQDXTableCursor&, const TQDXFieldDefs& fields,
                   const TQDXConstraintDefs& constraints, const TQDXIndexDefs& indexes) override {
    if (fields.Count() == 0) Raise(msg::kTableCreateNoFields);
    SetFieldDefs(fields);
    SetIndexDefs(indexes);
    SetConstraintDefs(constraints);
    CreateRecordManager();
    TQDXIndexDefs& defs = IndexManager().IndexDefs();
    for (int32_t i = 0; i < defs.Count(); ++i) {
      TQDXBTreeRecordIndex index(IndexManager());
      index.Create(nullptr, defs.GetIndexDef(i));
    }
    PageManager().ApplyChanges(kSystemSessionID);
  }
  void ApplyChanges(int32_t sessionID, bool inTransaction) override {
    TQDXTableData::ApplyChanges(sessionID, inTransaction);
    if (!inTransaction) temporary_->ApplyChanges(sessionID);
  }
  void EmptyTable(TQDXTableCursor& cursor) override {
    TQDXTableData::EmptyTable(cursor);
    Records().EmptyRecords(cursor.SessionID());
    ApplyChanges(cursor.SessionID(), cursor.InTransaction());
  }

  int64_t GetMaxRecordPosition(int32_t) override {
    return Records().rows.empty() ? 0 : Records().rows.rbegin()->first + 1;
  }
  int64_t RecordIDToPosition(TQDXRecordID id) override { return PositionOf(id); }
  TQDXRecordID PositionToRecordID(int64_t position) override { return RecordIDAt(position); }

  bool InsertRecord(TQDXTableCursor& cursor) override { return InsertRecordSteps(cursor); }
  bool DeleteRecord(TQDXTableCursor& cursor) override { return DeleteRecordSteps(cursor); }
  bool UpdateRecord(TQDXTableCursor& cursor) override { return UpdateRecordSteps(cursor); }

  void SetPhysicalRecNo(TQDXTableCursor& cursor, int64_t recNo) override {
    auto it = Records().rows.begin();
    std::advance(it, recNo - 1);
    cursor.RecordID = RecordIDAt(it->first);
    std::memcpy(cursor.Buffer, it->second.data(), it->second.size());
  }
  int64_t GetPhysicalRecNo(TQDXTableCursor& cursor) override {
    auto& rows = Records().rows;
    auto it = rows.find(PositionOf(cursor.RecordID));
    return it == rows.end() ? -1 : std::distance(rows.begin(), it) + 1;
  }
  int64_t GetPhysicalRecordCount(TQDXTableCursor&) override { return Records().RecordCount; }

  // The table has no BLOB fields.
  void CloseBlob(TQDXTableCursor&, int32_t, TQDXStream&) override { NoBlobs(); }
  std::unique_ptr<TQDXStream> OpenBlob(TQDXTableCursor&, bool, int32_t, int32_t) override {
    NoBlobs();
  }
  TQDXBlobValue GetBlobData(TQDXTableCursor&, int32_t) override { NoBlobs(); }
  void SetBlobData(TQDXTableCursor&, int32_t, const TQDXBlobValue&) override { NoBlobs(); }
  void ClearBlobData(TQDXTableCursor&, int32_t, uint8_t*) override { NoBlobs(); }

 private:
  [[noreturn]] static void NoBlobs() { throw std::logic_error("no BLOB fields here"); }

  TMemoryPageManager* temporary_;
};

class TMemoryDatabaseData : public TQDXDatabaseData {
 public:
  explicit TMemoryDatabaseData(std::string name = "MEMORY") : TQDXDatabaseData(std::move(name)) {}
  ~TMemoryDatabaseData() override { FreeAllTableData(); }

  int32_t NextObjectID() override { return ++lastObjectID; }
  void CommitTransaction(int32_t sessionID, bool) override {
    pages.ApplyChanges(sessionID);
    temporary.ApplyChanges(sessionID);
  }
  void RollbackTransaction(int32_t sessionID) override {
    // Temporary indexes are not part of transactions: they are rebuilt when stale.
    pages.CancelChanges(sessionID);
    AfterRollback(sessionID);
  }
  TQDXTableData* CreateTableData(TQDXTableCursor& cursor) override {
    return AddTableData(
        std::make_unique<TMemoryTableData>(*this, pages, temporary, cursor.TableName));
  }

  TMemoryPageManager pages{512};
  TMemoryPageManager temporary{512};
  int32_t lastObjectID = 0;
};

// A cursor with its own record and key buffers, registered on the table while it lives.
class TTestCursor : public TQDXTableCursor {
 public:
  TTestCursor(TQDXBaseSession& session, TQDXTableData& table) : table_(table) {
    Session = &session;
    TableName = table.Name();
    buffer_.assign(static_cast<size_t>(table.MemoryRecordSize()) + 7, 0);
    key_.assign(static_cast<size_t>(table.MemoryRecordSize()) + 6, 0);
    Buffer = buffer_.data();
    KeyBuffer = key_.data();
    table.RegisterCursor(*this);
  }
  ~TTestCursor() override { table_.UnregisterCursor(*this); }

 private:
  TQDXTableData& table_;
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> key_;
};

// A filter expression answered by a predicate, with the field conditions it claims.
class TPredicateFilter : public TQDXFilterExpression {
 public:
  explicit TPredicateFilter(std::function<bool(const uint8_t*)> predicate,
                            std::vector<TQDXFieldCondition> conditions = {})
      : predicate_(std::move(predicate)), conditions_(std::move(conditions)) {}

  bool Evaluate(const uint8_t* record) const override {
    ++evaluations;
    return predicate_(record);
  }
  std::span<const TQDXFieldCondition> FieldConditions() const override { return conditions_; }

  mutable int64_t evaluations = 0;

 private:
  std::function<bool(const uint8_t*)> predicate_;
  std::vector<TQDXFieldCondition> conditions_;
};

}  // namespace qdx::testing
