// TDataLink: what a data-aware control (or an adapter of one) holds to follow a dataset through
// a data source. A subclass overrides the notifications it cares about; all default to nothing:
//
//   ActiveChanged      the dataset was opened or closed (or the source changed, was disabled)
//   DataSetChanged     everything shown may have changed (the window was rebuilt)
//   DataSetScrolled    the current record moved inside the window by `distance`
//   RecordChanged      values of the current record changed (a field, or null for all)
//   EditingChanged     the dataset entered or left an edit state
//   UpdateData         the control must write its pending value into the record now
//   LayoutChanged      fields were added, removed or changed their display
//   FocusControl       the control bound to the field should take the focus
//
// A grid asks for a window of BufferCount records and reads row i by making it the active
// record (ActiveRecord / SetActiveRecord, restore afterwards). TFieldDataLink (field_data_link.h)
// is the link of a control bound to one field.
#pragma once

#include <cstdint>

#include "dataset/framework/data_set_types.h"

namespace qdx {

class TDataSource;

class TDataLink {
 public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return dataSource_; }
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const;
  // The source is enabled and its dataset open.
  bool Active() const { return active_; }
  // The dataset is in Editing or Inserting state (as seen by this link).
  bool Editing() const { return editing_; }
  // Starts an edit through the source (AutoEdit) when possible; answers Editing().
  bool Edit();
  // Asks this link to write its pending value into the record (calls UpdateData unless the
  // dataset is already doing so).
  void UpdateRecord();
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);

  // ---- The window a grid reads --------------------------------------------------------------
  int32_t BufferCount() const { return bufferCount_; }
  void SetBufferCount(int32_t count);
  // Records held in the window (up to BufferCount).
  int32_t RecordCount() const;
  // Index of the current record in the window.
  int32_t ActiveRecord() const;
  // Makes window row `index` the record fields read (Browse state only); answers the old index.
  int32_t SetActiveRecord(int32_t index);
  // Distance from the start of the window to the link's first shown row: the window itself.
  bool Eof() const;
  bool Bof() const;
  // Moves the dataset; answers the distance moved.
  int32_t MoveBy(int32_t distance);

  // ---- Called by the data source --------------------------------------------------------------
  void DataEvent(TDataEvent event, TDataEventInfo info);

 protected:
  virtual void ActiveChanged() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int32_t /*distance*/) { DataSetChanged(); }
  virtual void RecordChanged(TField* /*field*/) {}
  virtual void EditingChanged() {}
  virtual void UpdateData() {}
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void FocusControl(TField* /*field*/) {}
  virtual void CheckBrowseMode() {}

 private:
  friend class TDataSource;
  void UpdateState();

  TDataSource* dataSource_ = nullptr;
  int32_t bufferCount_ = 1;
  bool active_ = false;
  bool editing_ = false;
  bool readOnly_ = false;
  bool updating_ = false;
};

}  // namespace qdx
