#include "dataset/framework/data_source.h"

#include <algorithm>

#include "dataset/framework/data_link.h"
#include "dataset/framework/data_set.h"

namespace qdx {

TDataSource::~TDataSource() {
  for (TDataLink* link : std::vector<TDataLink*>(links_)) link->SetDataSource(nullptr);
  if (dataSet_ != nullptr) dataSet_->DetachDataSource(*this);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  if (dataSet_ != nullptr) {
    dataSet_->DetachDataSource(*this);
  }
  dataSet_ = dataSet;
  if (dataSet_ != nullptr) {
    dataSet_->AttachDataSource(*this);
    dataSet_->UpdateBufferCount();
  }
  NotifyActive();
}

void TDataSource::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  NotifyActive();
}

TDataSetState TDataSource::State() const {
  if (!enabled_ || dataSet_ == nullptr) return TDataSetState::Inactive;
  return dataSet_->State();
}

void TDataSource::Edit() {
  if (autoEdit_ && State() == TDataSetState::Browse) dataSet_->Edit();
}

void TDataSource::AddDataLink(TDataLink& link) {
  if (std::find(links_.begin(), links_.end(), &link) == links_.end()) links_.push_back(&link);
  if (dataSet_ != nullptr) dataSet_->UpdateBufferCount();
}

void TDataSource::RemoveDataLink(TDataLink& link) {
  std::erase(links_, &link);
  if (dataSet_ != nullptr) dataSet_->UpdateBufferCount();
}

void TDataSource::NotifyActive() {
  DataEvent(TDataEvent::UpdateState, {});
}

void TDataSource::DataEvent(TDataEvent event, TDataEventInfo info) {
  if (event == TDataEvent::UpdateState) {
    const TDataSetState now = State();
    for (TDataLink* link : std::vector<TDataLink*>(links_)) link->UpdateState();
    if (now != state_) {
      state_ = now;
      if (OnStateChange) OnStateChange(*this);
    }
    return;
  }
  if (State() == TDataSetState::Inactive) return;
  for (TDataLink* link : std::vector<TDataLink*>(links_)) link->DataEvent(event, info);
  switch (event) {
    case TDataEvent::FieldChanged:
    case TDataEvent::RecordChanged:
      if (OnDataChange) OnDataChange(*this, info.Field);
      break;
    case TDataEvent::DataSetChanged:
    case TDataEvent::DataSetScrolled:
      if (OnDataChange) OnDataChange(*this, nullptr);
      break;
    case TDataEvent::UpdateRecord:
      if (OnUpdateData) OnUpdateData(*this);
      break;
    default:
      break;
  }
}

}  // namespace qdx
