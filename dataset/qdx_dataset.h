// TQDXDataSet: the dataset framework's dataset over one engine cursor. Everything common to
// tables and queries lives here: naming the database (DatabaseName, SessionName, InMemory),
// attaching to the database component through the session's name look-up, the record buffers
// the cursor lays out, moves, the edit cycle with the cursor's result codes, field values in
// the framework's native forms, filters, Locate, record numbers and bookmarks, BLOB streams.
// TQDXTable (qdx_table.h) adds the table name, the index, key search, ranges and master-detail.
//
// The dataset owns its cursor while it is open and never touches pages or indexes itself.
// Record buffers are the cursor's layout (record data, 6-byte bookmark, flag byte) grown by
// the calculated area; the framework sees the record data as the record size and declares a
// 7-byte bookmark of which the first 6 bytes carry the record ID.
//
// Field values cross the boundary in the framework's native forms (dataset/framework/field.h);
// the engine's forms differ for dates and times (day numbers and milliseconds here, date-time
// values there) and for integers whose engine slot is narrower or wider than the field class
// (BYTE, the autoincrement family); those are converted on every read and write.
//
// A dataset is used from one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/framework/data_set.h"
#include "dataset/local_engine/local_cursor.h"
#include "dataset/qdx_database.h"

namespace qdx {

class TQDXSession;

class TQDXDataSet : public TDataSet, public TQDXDatabaseUser {
 public:
  // The component's name prefixes its messages; `owner` stands for the form or data module
  // holding it (compared only for identity when the session resolves DatabaseName).
  explicit TQDXDataSet(std::string name = {}, const void* owner = nullptr);
  ~TQDXDataSet() override;

  // The engine's version text.
  std::string CurrentVersion() const { return TQDXDatabase::kCurrentVersion; }
  // "MEMORY" (any letter case) selects the in-memory database and turns InMemory on. Closed
  // datasets only; not while attached to a database.
  const std::string& DatabaseName() const { return databaseName_; }
  void SetDatabaseName(std::string name);
  const std::string& SessionName() const { return sessionName_; }
  void SetSessionName(std::string name);
  bool InMemory() const { return inMemory_; }
  void SetInMemory(bool inMemory);
  const void* Owner() const { return owner_; }
  // The datasets that `owner` holds, in the order they were made (a session with
  // AutoSessionName hands its name to them).
  static std::vector<TQDXDataSet*> DataSetsOf(const void* owner);

  // The database component while attached, else null.
  TQDXDatabase* Database() const { return database_; }
  // The engine cursor while open, else null.
  TQDXLocalCursor* Cursor() const { return cursor_.get(); }

  int32_t RecordCount() override;
  int32_t RecNo() override;
  void SetRecNo(int32_t recNo) override;
  bool BookmarkValid(const TBookmark& bookmark) override;
  int32_t CompareBookmarks(const TBookmark& a, const TBookmark& b) override;
  // Fails with 10271 on a closed dataset.
  bool Locate(std::string_view keyFields, std::span<const Variant> values,
              TLocateOptions options) override;
  using TDataSet::Locate;
  std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode) override;
  bool IsIndexField(const TField& field) const override;

  // TQDXDatabaseUser: the database disconnects.
  void CloseForDatabase() override { Close(); }

 protected:
  // ---- The variant's part --------------------------------------------------------------------
  // Makes and opens the cursor on the attached database (the table variant checks TableName).
  virtual std::unique_ptr<TQDXLocalCursor> CreateHandle() = 0;
  // After the cursor is open, before the field definitions are read: select the index.
  virtual void OpenIndex() {}
  // After the fields are bound: key buffers, range, master link. And their undoing.
  virtual void OpenExtras() {}
  virtual void CloseExtras() {}

  // ---- Helpers for the variants ----------------------------------------------------------------
  // Finds the database component through the session and enters the dataset in its list.
  void AttachDatabase();
  void DetachDatabase();
  // Raises EQDXEngineError for a non-zero cursor result.
  void CheckCursorResult();
  // Rebuilds the 1-based field numbers of the current index's fields; fails with 10325 when the
  // cursor knows no index of the current name.
  void BuildIndexFieldList();
  const std::vector<int32_t>& IndexFieldNos() const { return indexFieldNos_; }
  // Reads the field definitions from the cursor into FieldDefs.
  void LoadFieldDefs();
  // The same from another cursor on the table (one opened only to read them).
  void LoadFieldDefsFrom(const TQDXLocalCursor& cursor);
  // Allocates / frees a buffer of the cursor's record buffer size (with the calculated area).
  uint8_t* NewBuffer(int32_t size);
  void DeleteBuffer(uint8_t*& buffer);

  // ---- TDataSet ------------------------------------------------------------------------------
  uint8_t* AllocRecordBuffer() override;
  void FreeRecordBuffer(uint8_t*& buffer) override;
  TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool doCheck) override;
  int32_t GetRecordSize() const override;
  TBookmarkFlag GetBookmarkFlag(const uint8_t* buffer) const override;
  void SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag flag) override;
  TBookmark GetBookmarkData(const uint8_t* buffer) const override;
  void SetBookmarkData(uint8_t* buffer, const TBookmark& bookmark) override;
  int32_t CalcAreaOffset() const override;
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return cursor_ != nullptr && cursor_->IsOpen(); }
  void InternalFirst() override;
  void InternalLast() override;
  void InternalInitRecord(uint8_t* buffer) override;
  void InternalInsert() override;
  void InternalEdit() override;
  void InternalCancel() override;
  void InternalPost() override;
  void InternalDelete() override;
  void InternalAddRecord(uint8_t* buffer, bool append) override;
  void InternalGotoBookmark(const TBookmark& bookmark) override;
  void InternalSetToRecord(uint8_t* buffer) override;
  void InternalRefresh() override;
  void ApplyFilter() override;
  bool GetDataFieldData(const TField& field, const uint8_t* buffer,
                        std::span<uint8_t> out) const override;
  void SetDataFieldData(const TField& field, uint8_t* buffer,
                        std::span<const uint8_t> value) override;
  void CheckFieldWritable(const TField& field) const override;

 private:
  // The engine cursor's record layout of a visible field (0-based).
  const TQDXFieldDef& EngineField(const TField& field) const;
  void FreeOldRecord();
  void PlanFieldReads();

  // How each visible field's value is read from a record buffer, worked out when the dataset
  // opens: a walk reads every field of every record. `direct` when the value is its slot's bytes
  // as they stand (texts, floats, currency, bytes), copied from `offset`; `convertedFromSlot`
  // when the slot holds exactly the engine form that is converted (dates, times, integers).
  struct FieldRead {
    int32_t source = 0;  // the table field number: its null bit
    int32_t offset = 0;
    int32_t size = 0;
    TQDXDataType dataType = TQDXDataType::None;
    bool direct = false;
    bool convertedFromSlot = false;
  };

  std::string databaseName_;
  std::string sessionName_;
  bool inMemory_ = false;
  const void* owner_;
  TQDXSession* session_ = nullptr;
  TQDXDatabase* database_ = nullptr;
  std::unique_ptr<TQDXLocalCursor> cursor_;
  // The record as it was when editing began; only in Editing state.
  uint8_t* oldRecord_ = nullptr;
  std::vector<int32_t> indexFieldNos_;
  std::vector<FieldRead> fieldReads_;
  int32_t indexKeySize_ = 0;
  int32_t recordBufferSize_ = 0;
};

}  // namespace qdx
