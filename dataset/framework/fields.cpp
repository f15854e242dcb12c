#include "dataset/framework/fields.h"

#include <algorithm>

#include "dataset/database_error.h"
#include "dataset/dataset_messages.h"
#include "dataset/framework/binary_fields.h"
#include "dataset/framework/data_set.h"
#include "dataset/framework/date_time_fields.h"
#include "dataset/framework/index_defs.h"
#include "dataset/framework/numeric_fields.h"
#include "dataset/framework/string_fields.h"
#include "engine/foundation/format.h"

namespace qdx {

namespace {

std::string_view OwnerName(const TDataSet* dataSet) {
  return dataSet != nullptr ? std::string_view(dataSet->Name()) : std::string_view();
}

}  // namespace

TField& TFields::operator[](int32_t index) const {
  if (index < 0 || index >= Count()) {
    DatabaseError(dsmsg::kFieldIndexOutOfRange, OwnerName(dataSet_));
  }
  return *items_[static_cast<size_t>(index)];
}

TField& TFields::Add(std::unique_ptr<TField> field) {
  if (SearchField(field->FieldName()) != nullptr) {
    DatabaseError(dsmsg::Format(dsmsg::kDuplicateFieldName, {field->FieldName()}),
                  OwnerName(dataSet_));
  }
  field->dataSet_ = dataSet_;
  field->list_ = this;
  items_.push_back(std::move(field));
  ForgetLookups();
  return *items_.back();
}

std::unique_ptr<TField> TFields::Remove(TField& field) {
  const auto it = std::find_if(items_.begin(), items_.end(),
                               [&](const auto& f) { return f.get() == &field; });
  if (it == items_.end()) return nullptr;
  std::unique_ptr<TField> result = std::move(*it);
  items_.erase(it);
  result->dataSet_ = nullptr;
  result->list_ = nullptr;
  ForgetLookups();
  return result;
}

void TFields::Clear() {
  ForgetLookups();
  for (const auto& field : items_) field->list_ = nullptr;
  items_.clear();
}

TField* TFields::FindField(std::string_view name) const {
  for (const Lookup& lookup : lookups_) {
    if (lookup.field != nullptr && lookup.name == name) return lookup.field;
  }
  TField* field = SearchField(name);
  if (field != nullptr) {
    Lookup& slot = lookups_[nextLookup_];
    slot.name.assign(name);
    slot.field = field;
    nextLookup_ = (nextLookup_ + 1) % kLookups;
  }
  return field;
}

TField* TFields::SearchField(std::string_view name) const {
  for (const auto& field : items_) {
    if (SameFieldName(field->FieldName(), name)) return field.get();
  }
  return nullptr;
}

void TFields::ForgetLookups() {
  for (Lookup& lookup : lookups_) lookup.field = nullptr;
  nextLookup_ = 0;
}

TField& TFields::FieldByName(std::string_view name) const {
  TField* field = FindField(name);
  if (field == nullptr) {
    DatabaseError(dsmsg::Format(dsmsg::kFieldNotFound, {name}), OwnerName(dataSet_));
  }
  return *field;
}

TField* TFields::FieldByNumber(int32_t fieldNo) const {
  for (const auto& field : items_) {
    if (field->FieldNo() == fieldNo && field->FieldKind() == TFieldKind::fkData) return field.get();
  }
  return nullptr;
}

int32_t TFields::IndexOf(const TField& field) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].get() == &field) return static_cast<int32_t>(i);
  }
  return -1;
}

std::unique_ptr<TField> CreateFieldForType(TFieldType dataType, int32_t size) {
  switch (dataType) {
    case ftString:
    case ftFixedChar:
      return std::make_unique<TStringField>(size, dataType);
    case ftGuid:
      return std::make_unique<TGuidField>();
    case ftWideString:
      return std::make_unique<TWideStringField>(size);
    case ftSmallint:
      return std::make_unique<TSmallintField>();
    case ftWord:
      return std::make_unique<TWordField>();
    case ftInteger:
      return std::make_unique<TIntegerField>();
    case ftAutoInc:
      return std::make_unique<TAutoIncField>();
    case ftLargeint:
      return std::make_unique<TLargeintField>();
    case ftFloat:
    case ftBCD:
      return std::make_unique<TFloatField>(dataType);
    case ftCurrency:
      return std::make_unique<TCurrencyField>();
    case ftBoolean:
      return std::make_unique<TBooleanField>();
    case ftDate:
      return std::make_unique<TDateField>();
    case ftTime:
      return std::make_unique<TTimeField>();
    case ftDateTime:
      return std::make_unique<TDateTimeField>();
    case ftBytes:
      return std::make_unique<TBytesField>(size);
    case ftVarBytes:
      return std::make_unique<TVarBytesField>(size);
    case ftMemo:
    case ftFmtMemo:
      return std::make_unique<TMemoField>(dataType);
    case ftGraphic:
      return std::make_unique<TGraphicField>();
    case ftBlob:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob:
      return std::make_unique<TBlobField>(dataType);
    default:
      return nullptr;
  }
}

}  // namespace qdx
