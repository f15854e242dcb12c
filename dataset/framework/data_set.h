// TDataSet: the dataset framework's base. A dataset is a record-at-a-time view of rows: it keeps
// a window of record buffers with a current record, a state, the field objects, and sends
// notifications to its data sources. Descendants (the table dataset, the test datasets) supply
// the storage through the protected Internal* operations and the record-buffer operations;
// everything a user does — moving, editing, posting, settling a pending change before a move,
// scroll and change events, controls suspension — is done here, once.
//
// The buffer window. `BufferCount` buffers (one unless a data link asks for more, as a grid
// does) hold consecutive records in the dataset's order; `ActiveRecord` is the index of the
// current one; `RecordCount` of the window how many hold records. A move inside the window
// only changes ActiveRecord; a move past its edge fetches one record and shifts the window.
// The cursor of the descendant is positioned on the window buffer `currentRecord_` when that is
// not -1; before a fetch relative to a buffer the dataset repositions the cursor on it
// (InternalSetToRecord).
//
// Invariants:
//  1. In Browse, 0 <= ActiveRecord < window RecordCount, or the window is empty (0, 0).
//  2. In Inserting, the active buffer holds the new record (flag Inserted, or Eof after Append)
//     and ActiveRecord points at it.
//  3. Every notification to the data sources passes through DataEvent, which drops it while
//     controls are suspended.
//
// A dataset is used from one thread.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/framework/data_set_types.h"
#include "dataset/framework/field.h"
#include "dataset/framework/field_defs.h"
#include "dataset/framework/fields.h"
#include "engine/foundation/except.h"
#include "engine/foundation/stream.h"
#include "engine/foundation/types/platform_variant.h"

namespace qdx {

class TDataSource;

// The framework's silent exception: an operation abandoned on purpose (an error handler chose
// Abort). An application catches it without showing anything.
class EAbort : public EFrameworkException {
 public:
  EAbort() : EFrameworkException("Operation aborted") {}
};

// Where exceptions go that the framework cannot pass to a caller (raised inside a filter event):
// the application shows them. Without a handler they are dropped.
void SetDataSetExceptionHandler(std::function<void(const std::exception&)> handler);

enum class TBlobStreamMode : uint8_t { bmRead, bmWrite, bmReadWrite };

class TDataSet {
 public:
  TDataSet();
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  // The component name that messages raised for this dataset start with ("tb1: ...").
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  // ---- Opening and state -------------------------------------------------------------------
  void Open() { SetActive(true); }
  // Cancels a pending edit or insert (its changes are lost), then closes.
  void Close() { SetActive(false); }
  bool Active() const { return state_ != TDataSetState::Inactive; }
  void SetActive(bool active);
  TDataSetState State() const { return state_; }
  // Set when a field was written since Edit or Insert began.
  bool Modified() const { return modified_; }
  // True when the dataset's records may be changed (open, not read-only).
  virtual bool CanModify() const { return Active() && !readOnly_; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  // Fail with "Cannot perform this operation on a closed (an open) dataset".
  void CheckActive() const;
  void CheckInactive() const;

  // ---- Moving ------------------------------------------------------------------------------
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Moves `distance` records (back when negative); answers how many were moved (signed).
  int32_t MoveBy(int32_t distance);
  int32_t Skip(int32_t distance) { return MoveBy(distance); }
  // After a move that found no further (earlier) record, after Last (First), and both on an
  // empty dataset.
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  bool AtEnd() const { return eof_; }
  bool AtStart() const { return bof_; }
  bool IsEmpty() const;

  // ---- Changing ----------------------------------------------------------------------------
  void Edit();
  void Insert();
  void Append();
  void Post();
  void Cancel();
  void Delete();
  // Posts a pending change and re-reads the window around the current record.
  void Refresh();
  // Settles a pending change before a move: posts it when a field was written, cancels it
  // otherwise; posts a key being entered. Fails on a closed dataset.
  void CheckBrowseMode();
  // Asks the controls to write their pending values into the record (UpdateRecord).
  void UpdateRecord();
  // Inserts (appends) a record with the given values (null variants leave a field null), then
  // posts it. Values go to the fields in order.
  void InsertRecord(std::span<const Variant> values);
  void AppendRecord(std::span<const Variant> values);

  // ---- Record numbers and bookmarks ----------------------------------------------------------
  // Records visible through the dataset; 0 when closed.
  virtual int32_t RecordCount() { return 0; }
  // 1-based position of the current record; -1 when unknown (in Inserting state).
  virtual int32_t RecNo() { return -1; }
  virtual void SetRecNo(int32_t /*recNo*/) {}
  // Empty when there is no current record.
  TBookmark GetBookmark();
  // Fails with "Record not found" when the record is gone.
  void GotoBookmark(const TBookmark& bookmark);
  virtual bool BookmarkValid(const TBookmark& /*bookmark*/) { return false; }
  // Empty bookmarks: both empty → 0; one empty → it sorts after the other.
  virtual int32_t CompareBookmarks(const TBookmark& a, const TBookmark& b);

  // ---- Fields ------------------------------------------------------------------------------
  TFields& Fields() { return fields_; }
  const TFields& Fields() const { return fields_; }
  TFieldDefs& FieldDefs() { return fieldDefs_; }
  const TFieldDefs& FieldDefs() const { return fieldDefs_; }
  // Fails with "<name>: Field '%s' not found".
  TField& FieldByName(std::string_view name) const { return fields_.FieldByName(name); }
  TField& FieldNamed(std::string_view name) const { return fields_.FieldByName(name); }
  TField* FindField(std::string_view name) const { return fields_.FindField(name); }
  bool AutoCalcFields() const { return autoCalcFields_; }
  void SetAutoCalcFields(bool on) { autoCalcFields_ = on; }

  // ---- Locating ----------------------------------------------------------------------------
  // Moves to the first record whose `keyFields` (";"-separated) equal `values` (one per field);
  // answers whether one was found (the current record stays otherwise).
  virtual bool Locate(std::string_view keyFields, std::span<const Variant> values,
                      TLocateOptions options);
  bool Locate(std::string_view keyField, const Variant& value, TLocateOptions options) {
    return Locate(keyField, std::span<const Variant>(&value, 1), options);
  }
  // The values of `resultFields` in the first record matching; null when none matches. The
  // current record does not change. Several result fields give a variant array, here a vector.
  virtual std::vector<Variant> Lookup(std::string_view keyFields, std::span<const Variant> values,
                                      std::string_view resultFields);

  // ---- Filtering ---------------------------------------------------------------------------
  const std::string& Filter() const { return filterText_; }
  void SetFilter(std::string text);
  bool Filtered() const { return filtered_; }
  void SetFiltered(bool filtered);
  TFilterOptions FilterOptions() const { return filterOptions_; }
  void SetFilterOptions(TFilterOptions options);
  const TFilterRecordEvent& OnFilterRecord() const { return onFilterRecord_; }
  void SetOnFilterRecord(TFilterRecordEvent event);

  // ---- Controls ----------------------------------------------------------------------------
  // Counted suspension of notifications to data-aware controls.
  void DisableControls();
  void EnableControls();
  void SuspendControls() { DisableControls(); }
  void ResumeControls() { EnableControls(); }
  bool ControlsDisabled() const { return disableCount_ != 0; }

  // ---- Events (each called with the dataset) -------------------------------------------------
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh, OnCalcFields, OnNewRecord;
  TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

  // ---- Field values (called by the field objects) -----------------------------------------
  // The active buffer: the current record in Browse (null on an empty dataset), the record
  // being changed in Editing / Inserting, the key buffer in KeyEntry, the buffer being
  // calculated or offered to a filter in those states.
  uint8_t* ActiveBuffer() const;
  // Copies the native form of `field` from the active buffer; false when null or no record.
  // An empty `out` only asks whether a value is present.
  bool GetFieldData(const TField& field, std::span<uint8_t> out) const;
  // Writes the native form (empty: null) into the active buffer: allowed in the writable states
  // (else "Dataset not in edit or insert mode"); validates, marks the dataset modified and
  // notifies the controls of the field change.
  void SetFieldData(TField& field, std::span<const uint8_t> value);
  // A stream over a BLOB field's value in the active buffer.
  virtual std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode);
  // The field is a field of the current index (descendants with indexes answer).
  virtual bool IsIndexField(const TField& /*field*/) const { return false; }

  // ---- For data sources and links ------------------------------------------------------------
  void AttachDataSource(TDataSource& source);
  void DetachDataSource(TDataSource& source);
  // Window geometry: the links' largest request (at least 1).
  int32_t BufferCount() const { return bufferCount_; }
  int32_t WindowRecordCount() const { return recordCount_; }
  int32_t ActiveRecord() const { return activeRecord_; }
  // Makes window buffer `index` the active one, for a grid reading its rows; answers the old
  // index. Only in Browse state; the caller sets it back.
  int32_t SetActiveRecord(int32_t index);
  // Recomputes the window size from the links; refills the window when open.
  void UpdateBufferCount();
  // Sends a notification to the data sources (dropped while controls are suspended).
  void DataEvent(TDataEvent event, TDataEventInfo info = {});

 protected:
  // ---- Record buffers (descendant) -----------------------------------------------------------
  virtual uint8_t* AllocRecordBuffer() = 0;
  virtual void FreeRecordBuffer(uint8_t*& buffer) = 0;
  // Fetches into `buffer` in `mode`; with `doCheck` a failure raises instead of answering Error.
  virtual TGetResult GetRecord(uint8_t* buffer, TGetMode mode, bool doCheck) = 0;
  // Bytes of a buffer's record data.
  virtual int32_t GetRecordSize() const = 0;
  virtual TBookmarkFlag GetBookmarkFlag(const uint8_t* buffer) const = 0;
  virtual void SetBookmarkFlag(uint8_t* buffer, TBookmarkFlag flag) = 0;
  virtual TBookmark GetBookmarkData(const uint8_t* buffer) const = 0;
  virtual void SetBookmarkData(uint8_t* buffer, const TBookmark& bookmark) = 0;
  // Offset of the calculated area in a record buffer.
  virtual int32_t CalcAreaOffset() const = 0;

  // ---- Storage operations (descendant) ------------------------------------------------------
  // Opens the storage, fills the field definitions and creates or binds the field objects
  // (CreateFields / BindFields), allocates what the descendant needs.
  virtual void InternalOpen() = 0;
  virtual void InternalClose() = 0;
  virtual bool IsCursorOpen() const = 0;
  // Positions before the first / after the last record.
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  // Initialises a buffer for a new record (defaults).
  virtual void InternalInitRecord(uint8_t* buffer) = 0;
  // The storage's part of Insert / Edit / Cancel (began in the active buffer).
  virtual void InternalInsert() {}
  virtual void InternalEdit() {}
  virtual void InternalCancel() {}
  // Stores the active buffer (an insert in Inserting state, an update in Editing state).
  virtual void InternalPost() = 0;
  // Deletes the record of the active buffer.
  virtual void InternalDelete() = 0;
  // Stores a whole record at once (InsertRecord / AppendRecord), in Inserting state.
  virtual void InternalAddRecord(uint8_t* buffer, bool append) = 0;
  virtual void InternalGotoBookmark(const TBookmark& bookmark) = 0;
  // Positions the storage on the record a buffer holds.
  virtual void InternalSetToRecord(uint8_t* buffer) = 0;
  // The storage refreshes its view (a filter event in use).
  virtual void InternalRefresh() {}
  // Applies Filter / Filtered / FilterOptions / OnFilterRecord to the storage.
  virtual void ApplyFilter() {}
  // The storage's field value of a data field in `buffer`.
  virtual bool GetDataFieldData(const TField& field, const uint8_t* buffer,
                                std::span<uint8_t> out) const = 0;
  virtual void SetDataFieldData(const TField& field, uint8_t* buffer,
                                std::span<const uint8_t> value) = 0;
  // Clears the calculated area of a buffer.
  virtual void ClearCalcFields(uint8_t* buffer);

  // ---- Helpers for descendants -------------------------------------------------------------
  // Creates field objects from the field definitions when none are declared.
  void CreateFields();
  // Binds declared data fields to their definitions (field number); computes the calculated
  // area layout. Fails with "Field '%s' not found" for a data field without a definition.
  void BindFields();
  // Frees the fields CreateFields made.
  void DestroyCreatedFields();
  // Bytes the calculated and lookup fields take in the calculated area.
  int32_t CalcFieldsSize() const { return calcFieldsSize_; }
  // Computes calculated and lookup fields of a buffer (state Calculating).
  void CalculateFields(uint8_t* buffer);
  // Enters a state for one calculation, filter test or locate with `buffer` active, and
  // restores the previous state and buffer when it goes.
  class TempState {
   public:
    TempState(TDataSet& dataSet, TDataSetState state, uint8_t* buffer);
    ~TempState();
    TempState(const TempState&) = delete;
    TempState& operator=(const TempState&) = delete;

   private:
    TDataSet& dataSet_;
    TDataSetState state_;
    uint8_t* buffer_;
  };
  // Changes the state and notifies the controls; `stateBuffer` is the active buffer of the
  // states outside the window (KeyEntry).
  void SetState(TDataSetState state, uint8_t* stateBuffer = nullptr);
  // Offers a buffer to OnFilterRecord (state Filtering) when filtering is on and an event is
  // assigned; an exception inside the event goes to the exception handler and the record's fate
  // is what the flag held then.
  bool RecordAccepted(uint8_t* buffer);
  // Fetches into `buffer` and computes its calculated fields.
  TGetResult FetchRecord(uint8_t* buffer, TGetMode mode, bool doCheck = true);

  // ---- Hooks with a framework default -------------------------------------------------------
  // Refuses a field write in the current state ("Dataset not in edit or insert mode").
  virtual void CheckFieldWritable(const TField& field) const;
  // Post and Cancel in KeyEntry state.
  virtual void InternalPostKey() {}
  virtual void InternalCancelKey() {}
  // Runs OnNewRecord (a table fills master link fields first).
  virtual void DoOnNewRecord() { Fire(OnNewRecord); }
  // An exception the framework cannot pass to its caller (inside a filter event).
  virtual void InternalHandleException(const std::exception& error);
  void SetModified(bool modified) { modified_ = modified; }
  // Raises "<name>: <text>".
  [[noreturn]] void Error(std::string_view text) const;
  // Re-reads the window around the record the storage is positioned on: fetches it (Current),
  // then fills records after and before it. When that record is gone, the next, else the prior
  // one, else the window is empty. `centre` puts the record in the middle of the window.
  void Resync(bool centre = false);
  // Re-reads the window starting from the storage's position (First / Last / after a range).
  void ReadFromStart();
  void ReadFromEnd();
  // Positions the storage on the active record when it is not there.
  void UpdateCursorPos();
  void CursorPosChanged() { currentRecord_ = -1; }
  // The buffer that the window's record `index` occupies.
  uint8_t* WindowBuffer(int32_t index) const { return buffers_[static_cast<size_t>(index)]; }
  // A buffer for calculations, filter tests and locate, allocated with the window.
  uint8_t* TempBuffer() const { return tempBuffer_; }
  // Runs an edit, post or delete step; when it raises, asks the error event whether to retry,
  // abort quietly or let the error through.
  void RunWithErrorEvent(const TDataSetErrorEvent& event, const std::function<void()>& operation);
  // Calls an event if assigned.
  void Fire(const TDataSetNotifyEvent& event) {
    if (event) event(*this);
  }
  // Walks the storage from its first record for one whose `fields` match `values`, fetching
  // into `buffer`; the window is left alone but the storage's position is not restored. Used by
  // Locate and Lookup when the descendant has no faster search.
  bool ScanForMatch(std::span<TField* const> fields, std::span<const Variant> values,
                    TLocateOptions options, uint8_t* buffer);
  // The fields named in a ";"-separated list; fails with "Field '%s' not found".
  std::vector<TField*> FieldList(std::string_view names) const;

  // The state of the dataset and the old buffer; descendants read them in their Internal*.
  TDataSetState state_ = TDataSetState::Inactive;

 private:
  void OpenCursor();
  void CloseCursor();
  void AllocateWindow(int32_t count);
  void FreeWindow();
  // Fetches the record after (before) the window into it; false at the end (start).
  bool GetNextRecord();
  bool GetPriorRecord();
  // Fetches records after the window until it is full; answers how many came.
  int32_t GetNextRecords();
  int32_t GetPriorRecords();
  void ClearWindow();
  // Shifts the window by one towards its end (the first buffer becomes the last).
  void MoveBufferToEnd();
  void MoveBufferToStart();
  void DoInsertAppend(bool append);
  void BeginInsertAppend();
  // Takes the new record's buffer out of the window after a cancelled insert.
  void RemoveNewBuffer();
  void AddRecordValues(std::span<const Variant> values, bool append);
  void CheckCanModify() const;
  void CheckRequiredFields();
  void NotifyScrolled(int32_t distance);
  void ReapplyFilter(bool moveFirst);

  std::string name_;
  bool readOnly_ = false;
  bool modified_ = false;
  bool bof_ = true;
  bool eof_ = true;
  bool autoCalcFields_ = true;
  TFieldDefs fieldDefs_;
  TFields fields_;
  std::vector<TField*> createdFields_;  // the fields CreateFields added (owned by fields_)
  int32_t calcFieldsSize_ = 0;
  bool hasCalcFields_ = false;

  // The window.
  std::vector<uint8_t*> buffers_;
  uint8_t* tempBuffer_ = nullptr;
  int32_t bufferCount_ = 1;
  int32_t recordCount_ = 0;
  int32_t activeRecord_ = 0;
  int32_t currentRecord_ = -1;

  // Buffers of the temporary states.
  uint8_t* stateBuffer_ = nullptr;

  // Filtering.
  std::string filterText_;
  bool filtered_ = false;
  TFilterOptions filterOptions_;
  TFilterRecordEvent onFilterRecord_;

  // Controls.
  std::vector<TDataSource*> dataSources_;
  int32_t disableCount_ = 0;
  TDataSetState disableState_ = TDataSetState::Inactive;
};

// The dataset's controls suspended for one scope (DisableControls, and EnableControls on every
// path out): a walk over the records does not redraw a grid at each of them.
class TControlsSuspension {
 public:
  explicit TControlsSuspension(TDataSet& dataSet) : dataSet_(dataSet) {
    dataSet_.DisableControls();
  }
  ~TControlsSuspension() { dataSet_.EnableControls(); }
  TControlsSuspension(const TControlsSuspension&) = delete;
  TControlsSuspension& operator=(const TControlsSuspension&) = delete;

 private:
  TDataSet& dataSet_;
};

}  // namespace qdx
