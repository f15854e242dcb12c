// TField: a field object of a dataset. It converts between the value a record buffer holds and
// what the application asks for (text, integer, float, currency, date-time, boolean, variant),
// and gives the display and edit texts in the user's formats. The value always belongs to the
// dataset's active buffer (the current record while browsing, the record being changed while
// editing or inserting, the key buffer in key entry, ...); a field holds no value of its own.
//
// A field reaches its value through the dataset in a native form (TDataSet::GetFieldData /
// SetFieldData): a fixed layout per field type, little-endian:
//
//   field type                      native form
//   ftString, ftFixedChar, ftGuid   Windows-1252 text, zero-terminated, Size + 1 bytes
//   ftWideString                    UTF-16 text, zero-terminated, (Size + 1) * 2 bytes
//   ftSmallint / ftWord             int16 / uint16
//   ftInteger, ftAutoInc            int32
//   ftLargeint                      int64
//   ftBoolean                       int16, 0 false, any other value true (true is written -1)
//   ftFloat, ftCurrency, ftBCD      IEEE double (currency holds the amount itself)
//   ftDate, ftTime, ftDateTime      IEEE double: the date-time value (days since 1899-12-30, the
//                                   time of day as the fraction)
//   ftBytes / ftVarBytes            Size bytes / a uint16 length then Size bytes
//   BLOB types                      no native form: read and written through a BLOB stream
//
// Subclasses per type family: string_fields.h, numeric_fields.h, date_time_fields.h,
// binary_fields.h. A getter or setter a type does not support fails with "Cannot access field
// '%s' as type %s"; a text that does not convert fails with the field's conversion message.
//
// Not safe for concurrent use (a dataset is used from one thread).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "engine/foundation/types/data_types.h"
#include "engine/foundation/types/date_time.h"
#include "engine/foundation/types/platform_variant.h"

namespace qdx {

class TDataSet;
class TField;
class TFields;

enum class TFieldKind : uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc };

using TFieldNotifyEvent = std::function<void(TField&)>;
// OnGetText: `text` comes in as the field would show it; `displayText` tells display from edit.
using TFieldGetTextEvent = std::function<void(TField&, std::u16string& text, bool displayText)>;
using TFieldSetTextEvent = std::function<void(TField&, std::u16string_view text)>;

class TField {
 public:
  TField(TFieldType dataType, int32_t size);
  virtual ~TField();
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  // ---- Identity and binding ----------------------------------------------------------------
  const std::string& FieldName() const { return fieldName_; }
  void SetFieldName(std::string name);
  // The label a grid title or an error shows; the field name unless set.
  const std::string& DisplayLabel() const { return displayLabel_.empty() ? fieldName_ : displayLabel_; }
  void SetDisplayLabel(std::string label) { displayLabel_ = std::move(label); }
  const std::string& DisplayName() const { return DisplayLabel(); }
  TFieldType DataType() const { return dataType_; }
  int32_t Size() const { return size_; }
  void SetSize(int32_t size);
  // 1-based number of the data field in the record; 0 for calculated and lookup fields.
  int32_t FieldNo() const { return fieldNo_; }
  void SetFieldNo(int32_t fieldNo) { fieldNo_ = fieldNo; }
  TFieldKind FieldKind() const { return fieldKind_; }
  void SetFieldKind(TFieldKind kind);
  bool Calculated() const { return fieldKind_ == TFieldKind::fkCalculated; }
  bool Lookup() const { return fieldKind_ == TFieldKind::fkLookup; }
  // Position in the dataset's field list.
  int32_t Index() const;
  // The dataset owning the field; setting it adds the field to the dataset's list (closed
  // datasets only) and removes it from the previous one.
  TDataSet* DataSet() const { return dataSet_; }
  void SetDataSet(TDataSet* dataSet);

  bool Required() const { return required_; }
  void SetRequired(bool required) { required_ = required; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  // Width in characters a grid column gives the field.
  int32_t DisplayWidth() const { return displayWidth_ > 0 ? displayWidth_ : DefaultDisplayWidth(); }
  void SetDisplayWidth(int32_t width);
  // The field is a field of the dataset's current index.
  bool IsIndexField() const;
  // True when the application may write to the field now (dataset and field not read-only,
  // not a lookup field).
  bool CanModify() const;
  // Bytes of the native form.
  virtual int32_t DataSize() const = 0;
  // Byte offset of the value in a buffer's calculated area (calculated and lookup fields).
  int32_t Offset() const { return offset_; }
  void SetOffset(int32_t offset) { offset_ = offset; }

  // ---- Value -------------------------------------------------------------------------------
  bool IsNull() const;
  void Clear();
  // The native form of the active buffer's value into `out` (DataSize() bytes); false when
  // null or when there is no active record.
  bool GetData(std::span<uint8_t> out) const;
  // Writes the native form (DataSize() bytes) into the active buffer; an empty span sets null.
  void SetData(std::span<const uint8_t> value);

  virtual std::u16string AsString() const;
  virtual void SetAsString(std::u16string_view text);
  virtual int32_t AsInteger() const;
  virtual void SetAsInteger(int32_t value);
  virtual int64_t AsLargeInt() const;
  virtual void SetAsLargeInt(int64_t value);
  virtual double AsFloat() const;
  virtual void SetAsFloat(double value);
  virtual double AsCurrency() const;
  virtual void SetAsCurrency(double value);
  virtual TDateTime AsDateTime() const;
  virtual void SetAsDateTime(TDateTime value);
  virtual bool AsBoolean() const;
  virtual void SetAsBoolean(bool value);
  // Null when the value is null; else a variant of the field's natural kind.
  virtual Variant AsVariant() const;
  // A null or empty variant sets null.
  virtual void SetAsVariant(const Variant& value);

  // The getters the table dataset names: GetText, GetInteger, GetFloat, GetDateTime, and the
  // setter SetFloat.
  std::u16string GetText() const { return AsString(); }
  int32_t GetInteger() const { return AsInteger(); }
  double GetFloat() const { return AsFloat(); }
  TDateTime GetDateTime() const { return AsDateTime(); }
  void SetFloat(double value) { SetAsFloat(value); }

  // What a grid shows (user's formats; OnGetText may change it).
  std::u16string DisplayText() const;
  // What an edit control offers for editing.
  std::u16string EditText() const;
  // Writes a text typed by the user (OnSetText when assigned, else SetAsString).
  void SetEditText(std::u16string_view text);

  // Compares the active value with `value` (variant form) for locating; answers true when equal.
  // `caseInsensitive` and `partial` apply to texts.
  virtual bool ValueMatches(const Variant& value, bool caseInsensitive, bool partial) const;

  // ---- Lookup definition (fkLookup) ----------------------------------------------------------
  TDataSet* LookupDataSet = nullptr;
  std::string KeyFields;          // fields of this dataset, ";"-separated
  std::string LookupKeyFields;    // fields of the lookup dataset matched against them
  std::string LookupResultField;  // field of the lookup dataset whose value this field shows

  // ---- Events --------------------------------------------------------------------------------
  TFieldNotifyEvent OnChange;    // after a value was written
  TFieldNotifyEvent OnValidate;  // before a value is written; may raise to refuse it
  TFieldGetTextEvent OnGetText;
  TFieldSetTextEvent OnSetText;

  // The dataset calls this after it has written a value (validation done, notification sent).
  void Change();
  // The dataset calls this before it writes a value.
  void Validate();

 protected:
  // The text form of the value for display (true) or editing (false); the value is not null.
  virtual std::u16string TextOf(bool displayText) const;
  virtual int32_t DefaultDisplayWidth() const { return size_ > 0 ? size_ : 10; }
  // Fails with "Cannot access field '%s' as type %s".
  [[noreturn]] void AccessError(const char* typeName) const;
  // Fails with the text, the first %s the value, the second the field's display name.
  [[noreturn]] void ConversionError(const char* format, std::u16string_view text) const;
  // Reads the native value; answers false for null. `out` is DataSize() bytes.
  bool ReadNative(uint8_t* out) const { return GetData(std::span<uint8_t>(out, static_cast<size_t>(DataSize()))); }
  void WriteNative(const uint8_t* value) { SetData(std::span<const uint8_t>(value, static_cast<size_t>(DataSize()))); }

 private:
  friend class TFields;
  std::string fieldName_;
  TFields* list_ = nullptr;  // the list that holds the field, told when the name changes
  std::string displayLabel_;
  TFieldType dataType_;
  int32_t size_;
  int32_t fieldNo_ = 0;
  TFieldKind fieldKind_ = TFieldKind::fkData;
  TDataSet* dataSet_ = nullptr;
  bool required_ = false;
  bool readOnly_ = false;
  bool visible_ = true;
  int32_t displayWidth_ = 0;
  int32_t offset_ = 0;
};

}  // namespace qdx
