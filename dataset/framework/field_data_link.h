// TFieldDataLink: the link of a control bound to one field of a dataset (an edit, a date edit,
// a drop-down list). It resolves the field by name when the dataset opens and tells the
// control, through its events, when to show the value again, when editing began or ended and
// when to write its value back. Modified() records that the user changed the control; the next
// UpdateData then calls OnUpdateData, where the control writes the field.
#pragma once

#include <functional>
#include <string>

#include "dataset/framework/data_link.h"

namespace qdx {

class TFieldDataLink : public TDataLink {
 public:
  const std::string& FieldName() const { return fieldName_; }
  void SetFieldName(std::string name);
  // The bound field; null while the dataset is closed or has no such field.
  TField* Field() const { return field_; }
  // Whether the control may be changed: active, the field modifiable, not read-only.
  bool CanModify() const;
  // The user changed the control's value (the record is written at the next UpdateData).
  void Modified() { modified_ = true; }
  // Ends an edit of the control: the value is taken back from the field.
  void Reset();

  std::function<void(TFieldDataLink&)> OnDataChange;     // show the field's value again
  std::function<void(TFieldDataLink&)> OnEditingChange;  // editing began or ended
  std::function<void(TFieldDataLink&)> OnUpdateData;     // write the control's value now
  std::function<void(TFieldDataLink&)> OnActiveChange;   // opened or closed

 protected:
  void ActiveChanged() override;
  void RecordChanged(TField* field) override;
  void EditingChanged() override;
  void UpdateData() override;
  void LayoutChanged() override;

 private:
  void UpdateField();

  std::string fieldName_;
  TField* field_ = nullptr;
  bool modified_ = false;
};

}  // namespace qdx
