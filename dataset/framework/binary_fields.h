// Byte fields and BLOB fields. TBytesField / TVarBytesField keep raw bytes in the record;
// TBlobField (and TMemoField, TGraphicField) keep their value outside it and are read and
// written through a stream the dataset opens (TDataSet::CreateBlobStream). A memo's text is
// Windows-1252.
#pragma once

#include <string>
#include <vector>

#include "dataset/framework/field.h"

namespace qdx {

class TBytesField : public TField {
 public:
  explicit TBytesField(int32_t size = 16, TFieldType dataType = ftBytes) : TField(dataType, size) {}
  int32_t DataSize() const override { return Size(); }
  std::vector<uint8_t> Bytes() const;
  void SetBytes(std::span<const uint8_t> bytes);
  std::u16string AsString() const override;
  void SetAsString(std::u16string_view text) override;
};

class TVarBytesField : public TBytesField {
 public:
  explicit TVarBytesField(int32_t size = 16) : TBytesField(size, ftVarBytes) {}
  int32_t DataSize() const override { return Size() + 2; }
};

class TBlobField : public TField {
 public:
  explicit TBlobField(TFieldType dataType = ftBlob) : TField(dataType, 0) {}
  int32_t DataSize() const override { return 0; }
  // The whole value; empty when null.
  std::vector<uint8_t> Bytes() const;
  void SetBytes(std::span<const uint8_t> bytes);
  // The value read as Windows-1252 text, converted to UTF-16.
  std::u16string AsString() const override;
  void SetAsString(std::u16string_view text) override;
  Variant AsVariant() const override;
  // A BLOB field is null when its stream is empty.
  bool IsBlobNull() const;

 protected:
  std::u16string TextOf(bool displayText) const override;
  int32_t DefaultDisplayWidth() const override { return 10; }
};

class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TFieldType dataType = ftMemo) : TBlobField(dataType) {}
};

class TGraphicField : public TBlobField {
 public:
  TGraphicField() : TBlobField(ftGraphic) {}
};

}  // namespace qdx
