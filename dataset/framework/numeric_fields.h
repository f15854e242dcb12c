// Numeric and boolean fields: integers of 16, 32 and 64 bits (signed, and the unsigned 16-bit
// word), autoincrement, floats, currency and booleans. Display texts use the user's formats:
// floats in the general form with 15 significant digits (or fixed decimals when Precision is
// set), currency as a currency amount; edit texts are the plain numbers a user types back.
#pragma once

#include <limits>

#include "dataset/framework/field.h"

namespace qdx {

// Integers: 16-bit (ftSmallint), unsigned 16-bit (ftWord), 32-bit (ftInteger, ftAutoInc). A
// value outside the type's range fails with the field's range message.
class TIntegerField : public TField {
 public:
  explicit TIntegerField(TFieldType dataType = ftInteger);

  int32_t DataSize() const override;
  int64_t MinValue() const { return minValue_; }
  int64_t MaxValue() const { return maxValue_; }
  // Narrows the allowed range; 0 and 0 restore the type's range.
  void SetRange(int64_t minValue, int64_t maxValue);

  std::u16string AsString() const override;
  void SetAsString(std::u16string_view text) override;
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override;
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;
  bool ValueMatches(const Variant& value, bool caseInsensitive, bool partial) const override;

 protected:
  std::u16string TextOf(bool displayText) const override;
  int64_t ReadInteger(bool& isNull) const;
  virtual void WriteInteger(int64_t value);
  int64_t minValue_;
  int64_t maxValue_;
};

class TSmallintField : public TIntegerField {
 public:
  TSmallintField() : TIntegerField(ftSmallint) {}
};
class TWordField : public TIntegerField {
 public:
  TWordField() : TIntegerField(ftWord) {}
};
class TAutoIncField : public TIntegerField {
 public:
  TAutoIncField() : TIntegerField(ftAutoInc) {}
};

// 64-bit integers (ftLargeint).
class TLargeintField : public TIntegerField {
 public:
  TLargeintField() : TIntegerField(ftLargeint) {}
};

// Floats (ftFloat, ftBCD) and, through TCurrencyField, currency amounts.
class TFloatField : public TField {
 public:
  explicit TFloatField(TFieldType dataType = ftFloat) : TField(dataType, 0) {}

  int32_t DataSize() const override { return 8; }
  // Show the value as a currency amount.
  bool Currency() const { return currency_; }
  void SetCurrency(bool currency) { currency_ = currency; }
  // Decimals of the display text; -1 (default) for the general form.
  int32_t Precision() const { return precision_; }
  void SetPrecision(int32_t precision) { precision_ = precision; }

  std::u16string AsString() const override;
  void SetAsString(std::u16string_view text) override;
  int32_t AsInteger() const override;
  void SetAsInteger(int32_t value) override;
  int64_t AsLargeInt() const override;
  void SetAsLargeInt(int64_t value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  double AsCurrency() const override { return AsFloat(); }
  void SetAsCurrency(double value) override { SetAsFloat(value); }
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;
  bool ValueMatches(const Variant& value, bool caseInsensitive, bool partial) const override;

 protected:
  std::u16string TextOf(bool displayText) const override;

 private:
  bool currency_ = false;
  int32_t precision_ = -1;
};

class TCurrencyField : public TFloatField {
 public:
  TCurrencyField() : TFloatField(ftCurrency) { SetCurrency(true); }
  Variant AsVariant() const override;
};

class TBooleanField : public TField {
 public:
  TBooleanField() : TField(ftBoolean, 0) {}
  int32_t DataSize() const override { return 2; }
  std::u16string AsString() const override;
  void SetAsString(std::u16string_view text) override;
  int32_t AsInteger() const override { return AsBoolean() ? 1 : 0; }
  void SetAsInteger(int32_t value) override { SetAsBoolean(value != 0); }
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;
  bool ValueMatches(const Variant& value, bool caseInsensitive, bool partial) const override;

 protected:
  std::u16string TextOf(bool displayText) const override;
};

}  // namespace qdx
