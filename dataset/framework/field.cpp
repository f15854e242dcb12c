// The field base: identity, binding to a dataset, and the value path through the dataset's
// active buffer. Conversions live in the subclasses.
#include "dataset/framework/field.h"

#include "dataset/database_error.h"
#include "dataset/dataset_messages.h"
#include "dataset/framework/data_set.h"
#include "dataset/framework/fields.h"
#include "engine/foundation/platform/locale.h"

namespace qdx {

TField::TField(TFieldType dataType, int32_t size) : dataType_(dataType), size_(size) {}

TField::~TField() = default;

void TField::SetFieldName(std::string name) {
  if (dataSet_ != nullptr) dataSet_->CheckInactive();
  fieldName_ = std::move(name);
  if (list_ != nullptr) list_->ForgetLookups();
}

void TField::SetSize(int32_t size) {
  if (dataSet_ != nullptr) dataSet_->CheckInactive();
  size_ = size;
}

void TField::SetFieldKind(TFieldKind kind) {
  if (dataSet_ != nullptr) dataSet_->CheckInactive();
  fieldKind_ = kind;
}

int32_t TField::Index() const { return dataSet_ != nullptr ? dataSet_->Fields().IndexOf(*this) : -1; }

void TField::SetVisible(bool visible) {
  visible_ = visible;
  if (dataSet_ != nullptr) dataSet_->DataEvent(TDataEvent::LayoutChanged);
}

void TField::SetDisplayWidth(int32_t width) {
  displayWidth_ = width;
  if (dataSet_ != nullptr) dataSet_->DataEvent(TDataEvent::LayoutChanged);
}

bool TField::IsIndexField() const { return dataSet_ != nullptr && dataSet_->IsIndexField(*this); }

bool TField::CanModify() const {
  if (readOnly_ || fieldKind_ == TFieldKind::fkLookup || dataSet_ == nullptr) return false;
  return dataSet_->CanModify();
}

bool TField::IsNull() const { return !GetData({}); }

void TField::Clear() { SetData({}); }

bool TField::GetData(std::span<uint8_t> out) const {
  if (dataSet_ == nullptr) return false;
  return dataSet_->GetFieldData(*this, out);
}

void TField::SetData(std::span<const uint8_t> value) {
  if (dataSet_ == nullptr) {
    DatabaseError(dsmsg::Format(dsmsg::kFieldNotFound, {fieldName_}));
  }
  dataSet_->SetFieldData(*this, value);
}

void TField::AccessError(const char* typeName) const {
  DatabaseError(dsmsg::Format(dsmsg::kFieldAccessAs, {DisplayName(), typeName}));
}

void TField::ConversionError(const char* format, std::u16string_view text) const {
  const std::string value = platform::WideToAnsi(text);
  DatabaseError(dsmsg::Format(format, {value, DisplayName()}));
}

std::u16string TField::AsString() const { AccessError("String"); }
void TField::SetAsString(std::u16string_view) { AccessError("String"); }
int32_t TField::AsInteger() const { AccessError("Integer"); }
void TField::SetAsInteger(int32_t) { AccessError("Integer"); }
int64_t TField::AsLargeInt() const { return AsInteger(); }
void TField::SetAsLargeInt(int64_t value) {
  if (value < INT32_MIN || value > INT32_MAX) AccessError("LargeInt");
  SetAsInteger(static_cast<int32_t>(value));
}
double TField::AsFloat() const { AccessError("Float"); }
void TField::SetAsFloat(double) { AccessError("Float"); }
double TField::AsCurrency() const { return AsFloat(); }
void TField::SetAsCurrency(double value) { SetAsFloat(value); }
TDateTime TField::AsDateTime() const { AccessError("DateTime"); }
void TField::SetAsDateTime(TDateTime) { AccessError("DateTime"); }
bool TField::AsBoolean() const { AccessError("Boolean"); }
void TField::SetAsBoolean(bool) { AccessError("Boolean"); }

Variant TField::AsVariant() const {
  if (IsNull()) return Variant::Null();
  return Variant::FromOleStr(AsString());
}

void TField::SetAsVariant(const Variant& value) {
  switch (value.VarType()) {
    case varEmpty:
    case varNull:
      Clear();
      return;
    case varSmallint:
    case varInteger:
    case varByte:
      SetAsLargeInt(value.AsInt64());
      return;
    case varBoolean:
      SetAsBoolean(value.AsInt64() != 0);
      return;
    case varSingle:
    case varDouble:
      SetAsFloat(value.AsDouble());
      return;
    case varCurrency:
      SetAsCurrency(static_cast<double>(value.AsInt64()) / 10000.0);
      return;
    case varDate:
      SetAsDateTime(value.AsDouble());
      return;
    case varOleStr:
      SetAsString(value.AsOleStr());
      return;
    case varString:
      SetAsString(platform::AnsiToWide(value.AsString()));
      return;
    default:
      DatabaseError(dsmsg::Format(dsmsg::kFieldTypeMismatch, {DisplayName()}));
  }
}

std::u16string TField::TextOf(bool /*displayText*/) const { return AsString(); }

std::u16string TField::DisplayText() const {
  std::u16string text = IsNull() ? std::u16string() : TextOf(true);
  if (OnGetText) OnGetText(const_cast<TField&>(*this), text, true);
  return text;
}

std::u16string TField::EditText() const {
  std::u16string text = IsNull() ? std::u16string() : TextOf(false);
  if (OnGetText) OnGetText(const_cast<TField&>(*this), text, false);
  return text;
}

void TField::SetEditText(std::u16string_view text) {
  if (OnSetText) {
    OnSetText(*this, text);
  } else if (text.empty()) {
    Clear();
  } else {
    SetAsString(text);
  }
}

bool TField::ValueMatches(const Variant& value, bool caseInsensitive, bool partial) const {
  if (value.IsNull() || value.IsEmpty()) return IsNull();
  if (IsNull()) return false;
  std::u16string wanted = value.VarType() == varString ? platform::AnsiToWide(value.AsString())
                                                       : value.AsOleStr();
  std::u16string have = AsString();
  if (partial && have.size() > wanted.size()) have.resize(wanted.size());
  if (!caseInsensitive) return have == wanted;
  return platform::UserDefaultLocale().Compare(platform::kIgnoreCase, have.data(),
                                                static_cast<int32_t>(have.size()), wanted.data(),
                                                static_cast<int32_t>(wanted.size())) ==
         platform::CollationResult::Equal;
}

void TField::Change() {
  if (OnChange) OnChange(*this);
}

void TField::Validate() {
  if (OnValidate) OnValidate(*this);
}

}  // namespace qdx
