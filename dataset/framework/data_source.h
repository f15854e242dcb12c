// TDataSource: the connector between one dataset and the data links of data-aware controls
// (grid, edits, navigators). It passes the dataset's notifications on to its links in the
// order they were attached, and carries AutoEdit: whether a control's typing may put the
// dataset into Editing state by itself.
#pragma once

#include <functional>
#include <vector>

#include "dataset/framework/data_set_types.h"

namespace qdx {

class TDataLink;

class TDataSource {
 public:
  TDataSource() = default;
  explicit TDataSource(TDataSet* dataSet) { SetDataSet(dataSet); }
  ~TDataSource();
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;

  TDataSet* DataSet() const { return dataSet_; }
  void SetDataSet(TDataSet* dataSet);
  // Off: the links see the dataset as inactive.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // Typing into a bound control starts an edit (default on).
  bool AutoEdit() const { return autoEdit_; }
  void SetAutoEdit(bool autoEdit) { autoEdit_ = autoEdit; }
  // The dataset's state, Inactive when disabled or without a dataset.
  TDataSetState State() const;
  // Starts an edit of the dataset when AutoEdit is on and the dataset is browsing.
  void Edit();

  // Called after a state change, after a change of data (the field, or null for the record).
  std::function<void(TDataSource&)> OnStateChange;
  std::function<void(TDataSource&, TField*)> OnDataChange;
  std::function<void(TDataSource&)> OnUpdateData;

  // ---- For datasets and links ---------------------------------------------------------------
  void AddDataLink(TDataLink& link);
  void RemoveDataLink(TDataLink& link);
  const std::vector<TDataLink*>& DataLinks() const { return links_; }
  // Passes a dataset notification to the links and the events.
  void DataEvent(TDataEvent event, TDataEventInfo info);
  // The dataset is being destroyed.
  void DataSetDestroyed() { dataSet_ = nullptr; NotifyActive(); }

 private:
  void NotifyActive();

  TDataSet* dataSet_ = nullptr;
  bool enabled_ = true;
  bool autoEdit_ = true;
  TDataSetState state_ = TDataSetState::Inactive;
  std::vector<TDataLink*> links_;
};

}  // namespace qdx
