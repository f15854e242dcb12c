// Date, time and date-time fields. The native form is the date-time value (days since
// 1899-12-30, the time of day as the fraction). Texts use the user's short date pattern and
// long time pattern; a date-time at midnight shows only its date.
#pragma once

#include "dataset/framework/field.h"

namespace qdx {

class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(TFieldType dataType = ftDateTime) : TField(dataType, 0) {}

  int32_t DataSize() const override { return 8; }
  std::u16string AsString() const override;
  void SetAsString(std::u16string_view text) override;
  double AsFloat() const override { return AsDateTime(); }
  void SetAsFloat(double value) override { SetAsDateTime(value); }
  TDateTime AsDateTime() const override;
  void SetAsDateTime(TDateTime value) override;
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;
  bool ValueMatches(const Variant& value, bool caseInsensitive, bool partial) const override;

 protected:
  std::u16string TextOf(bool displayText) const override;
  // The value as this type keeps it: a date drops the time, a time drops the date.
  virtual TDateTime Normalise(TDateTime value) const { return value; }
};

class TDateField : public TDateTimeField {
 public:
  TDateField() : TDateTimeField(ftDate) {}
  void SetAsString(std::u16string_view text) override;

 protected:
  std::u16string TextOf(bool displayText) const override;
  TDateTime Normalise(TDateTime value) const override;
};

class TTimeField : public TDateTimeField {
 public:
  TTimeField() : TDateTimeField(ftTime) {}
  void SetAsString(std::u16string_view text) override;

 protected:
  std::u16string TextOf(bool displayText) const override;
  TDateTime Normalise(TDateTime value) const override;
};

}  // namespace qdx
