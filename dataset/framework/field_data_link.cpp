#include "dataset/framework/field_data_link.h"

#include "dataset/framework/data_set.h"

namespace qdx {

void TFieldDataLink::SetFieldName(std::string name) {
  fieldName_ = std::move(name);
  UpdateField();
}

bool TFieldDataLink::CanModify() const {
  return Active() && !ReadOnly() && field_ != nullptr && field_->CanModify();
}

void TFieldDataLink::Reset() {
  modified_ = false;
  if (OnDataChange) OnDataChange(*this);
}

void TFieldDataLink::UpdateField() {
  TField* field = nullptr;
  if (Active() && !fieldName_.empty() && DataSet() != nullptr) field = DataSet()->FindField(fieldName_);
  if (field != field_) {
    field_ = field;
    Reset();
  }
}

void TFieldDataLink::ActiveChanged() {
  UpdateField();
  if (OnActiveChange) OnActiveChange(*this);
}

void TFieldDataLink::LayoutChanged() { UpdateField(); }

void TFieldDataLink::RecordChanged(TField* field) {
  if (field == nullptr || field == field_) Reset();
}

void TFieldDataLink::EditingChanged() {
  if (OnEditingChange) OnEditingChange(*this);
}

void TFieldDataLink::UpdateData() {
  if (!modified_) return;
  if (field_ != nullptr && OnUpdateData) OnUpdateData(*this);
  modified_ = false;
}

}  // namespace qdx
