#include "dataset/framework/data_link.h"

#include "dataset/framework/data_set.h"
#include "dataset/framework/data_source.h"

namespace qdx {

TDataLink::~TDataLink() {
  if (dataSource_ != nullptr) dataSource_->RemoveDataLink(*this);
}

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == dataSource_) return;
  if (dataSource_ != nullptr) dataSource_->RemoveDataLink(*this);
  dataSource_ = source;
  if (dataSource_ != nullptr) dataSource_->AddDataLink(*this);
  UpdateState();
}

TDataSet* TDataLink::DataSet() const { return dataSource_ != nullptr ? dataSource_->DataSet() : nullptr; }

void TDataLink::UpdateState() {
  const TDataSetState state = dataSource_ != nullptr ? dataSource_->State() : TDataSetState::Inactive;
  const bool active = state != TDataSetState::Inactive;
  if (active != active_) {
    active_ = active;
    ActiveChanged();
  }
  const bool editing = active_ && !readOnly_ &&
                       (state == TDataSetState::Editing || state == TDataSetState::Inserting ||
                        state == TDataSetState::KeyEntry);
  if (editing != editing_) {
    editing_ = editing;
    EditingChanged();
  }
}

bool TDataLink::Edit() {
  if (!readOnly_ && dataSource_ != nullptr) dataSource_->Edit();
  return editing_;
}

void TDataLink::UpdateRecord() {
  if (updating_) return;
  updating_ = true;
  try {
    UpdateData();
  } catch (...) {
    updating_ = false;
    throw;
  }
  updating_ = false;
}

void TDataLink::SetReadOnly(bool readOnly) {
  if (readOnly == readOnly_) return;
  readOnly_ = readOnly;
  UpdateState();
}

void TDataLink::SetBufferCount(int32_t count) {
  count = count < 1 ? 1 : count;
  if (count == bufferCount_) return;
  bufferCount_ = count;
  if (TDataSet* dataSet = DataSet()) dataSet->UpdateBufferCount();
}

int32_t TDataLink::RecordCount() const {
  const TDataSet* dataSet = DataSet();
  if (!active_ || dataSet == nullptr) return 0;
  return std::min(dataSet->WindowRecordCount(), bufferCount_);
}

int32_t TDataLink::ActiveRecord() const {
  const TDataSet* dataSet = DataSet();
  return active_ && dataSet != nullptr ? dataSet->ActiveRecord() : 0;
}

int32_t TDataLink::SetActiveRecord(int32_t index) {
  TDataSet* dataSet = DataSet();
  return active_ && dataSet != nullptr ? dataSet->SetActiveRecord(index) : 0;
}

bool TDataLink::Eof() const {
  const TDataSet* dataSet = DataSet();
  return !active_ || dataSet == nullptr || dataSet->Eof();
}

bool TDataLink::Bof() const {
  const TDataSet* dataSet = DataSet();
  return !active_ || dataSet == nullptr || dataSet->Bof();
}

int32_t TDataLink::MoveBy(int32_t distance) {
  TDataSet* dataSet = DataSet();
  return active_ && dataSet != nullptr ? dataSet->MoveBy(distance) : 0;
}

void TDataLink::DataEvent(TDataEvent event, TDataEventInfo info) {
  if (!active_) return;
  switch (event) {
    case TDataEvent::FieldChanged:
    case TDataEvent::RecordChanged:
      RecordChanged(info.Field);
      break;
    case TDataEvent::DataSetChanged:
      DataSetChanged();
      break;
    case TDataEvent::DataSetScrolled:
      DataSetScrolled(info.Distance);
      break;
    case TDataEvent::LayoutChanged:
      LayoutChanged();
      break;
    case TDataEvent::UpdateRecord:
      UpdateRecord();
      break;
    case TDataEvent::CheckBrowseMode:
      CheckBrowseMode();
      break;
    case TDataEvent::FocusControl:
      FocusControl(info.Field);
      break;
    default:
      break;
  }
}

}  // namespace qdx
