// Text fields: TStringField (8-bit Windows-1252 text, also for fixed-width text), TWideStringField
// (UTF-16 text) and TGuidField (a GUID held as its 38-character text). The application sees UTF-16
// texts; the conversion to and from Windows-1252 happens here, at the field. A text longer than
// the field's size is cut to the size.
#pragma once

#include <string>

#include "dataset/framework/field.h"
#include "engine/foundation/platform/locale.h"

namespace qdx {

class TStringField : public TField {
 public:
  explicit TStringField(int32_t size = 20, TFieldType dataType = ftString) : TField(dataType, size) {}

  int32_t DataSize() const override { return Size() + 1; }
  // The stored 8-bit text, as the engine holds it (byte-for-byte comparisons).
  virtual std::string Value() const;
  virtual void SetValue(std::string_view text);

  std::u16string AsString() const override;
  void SetAsString(std::u16string_view text) override;
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override;
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  TDateTime AsDateTime() const override;
  void SetAsDateTime(TDateTime value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  Variant AsVariant() const override;
  bool ValueMatches(const Variant& value, bool caseInsensitive, bool partial) const override;
};

class TWideStringField : public TStringField {
 public:
  explicit TWideStringField(int32_t size = 20) : TStringField(size, ftWideString) {}
  int32_t DataSize() const override { return (Size() + 1) * 2; }
  std::string Value() const override { return platform::WideToAnsi(AsString()); }
  void SetValue(std::string_view text) override { SetAsString(platform::AnsiToWide(text)); }
  std::u16string AsString() const override;
  void SetAsString(std::u16string_view text) override;
  Variant AsVariant() const override;
};

class TGuidField : public TStringField {
 public:
  TGuidField() : TStringField(38, ftGuid) {}
};

}  // namespace qdx
