// TQDXVariant: the engine's value holder (default values, check bounds, search keys, SQL values).
//
// A variant holds one value of a data type in that type's storage encoding (data_types.h), in a
// block of the engine memory manager that it owns, or in memory it borrows. It is null when its
// null state is non-zero or it has no data; a new variant is null. Setting a value of another
// type converts it to the variant's type (convert.h); a variant without a type takes the type of
// the first value set. Getters convert the other way. Releasing or changing the value frees only
// owned data.
//
// Stored form (inside stored definitions), little-endian:
//
//   offset  size  content
//   0       1     data type
//   1       1     null state (255 null, 0 has a value); a non-zero state ends the item
//   2       4     size n (int32), only when the null state is 0
//   6       n     the value in its storage encoding
//
// A variant is not safe for concurrent use; distinct variants are independent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "engine/foundation/memory.h"
#include "engine/foundation/stream.h"
#include "engine/foundation/types/data_types.h"
#include "engine/foundation/types/date_time.h"
#include "engine/foundation/types/platform_variant.h"

namespace qdx {

// The bytes of a variant's value: a block of the engine memory manager that the variant owns, or
// memory it borrows (from another variant or a caller), which must outlive the borrower's use of
// it; or nothing. Only an owned block is ever written through.
class VariantBytes {
 public:
  VariantBytes() = default;
  VariantBytes(VariantBytes&& other) noexcept
      : owned_(std::move(other.owned_)), borrowed_(std::exchange(other.borrowed_, nullptr)) {}
  VariantBytes& operator=(VariantBytes&& other) noexcept {
    owned_ = std::move(other.owned_);
    borrowed_ = std::exchange(other.borrowed_, nullptr);
    return *this;
  }

  const uint8_t* Data() const { return borrowed_ ? borrowed_ : owned_.data(); }
  // The owned block, for writing in place; null when the bytes are borrowed or absent.
  uint8_t* Owned() const { return owned_.data(); }
  bool IsBorrowed() const { return borrowed_ != nullptr; }

  // Each of these first releases an owned block, raising what the memory manager raises.
  void Own(TQDXMemBlock block) {
    Release();
    owned_ = std::move(block);
  }
  void Borrow(const uint8_t* data) {
    Release();
    borrowed_ = data;
  }
  void Release() {
    borrowed_ = nullptr;
    owned_.Release();
  }

 private:
  TQDXMemBlock owned_;
  const uint8_t* borrowed_ = nullptr;
};

class TQDXVariant {
 public:
  static constexpr uint8_t kNullState = 255;

  TQDXVariant() = default;
  explicit TQDXVariant(TQDXDataType dataType) : dataType_(dataType) {}
  // An owned block is released (an overrun found then cannot be raised from here).
  ~TQDXVariant() = default;
  // Copies are deep: the copy owns its data.
  TQDXVariant(const TQDXVariant& other) { Assign(other, true); }
  TQDXVariant& operator=(const TQDXVariant& other) {
    if (this != &other) Assign(other, true);
    return *this;
  }
  TQDXVariant(TQDXVariant&& other) noexcept { Take(other); }
  TQDXVariant& operator=(TQDXVariant&& other) noexcept {
    if (this != &other) {
      FreeData();
      Take(other);
    }
    return *this;
  }

  TQDXDataType DataType() const { return dataType_; }
  int32_t Size() const { return size_; }
  const uint8_t* Data() const { return bytes_.Data(); }
  bool IsBorrowed() const { return bytes_.IsBorrowed(); }
  uint8_t NullState() const { return nullState_; }
  bool IsNull() const { return nullState_ != 0 || bytes_.Data() == nullptr; }

  // Frees owned data and becomes a null variant of `dataType`.
  void Clear(TQDXDataType dataType);
  // Becomes null; the data stays (and stays owned).
  void SetNull() { nullState_ = kNullState; }

  // ---- Setters: convert to the variant's data type when it has another ------------------------
  void SetAsShortInt(int8_t value);
  void SetAsSmallInt(int16_t value);
  void SetAsInteger(int32_t value);
  void SetAsLargeInt(int64_t value);
  void SetAsByte(uint8_t value);
  void SetAsWord(uint16_t value);
  void SetAsCardinal(uint32_t value);
  void SetAsSingle(float value);
  void SetAsFloat(double value);
  void SetAsExtended(long double value);
  void SetAsDate(int32_t dayNumber);
  void SetAsTime(int32_t milliseconds);
  void SetAsDateTime(TQDXDateTime value);
  void SetAsLogical(bool value);
  void SetAsCurrency(double amount);
  // Windows-1252 text (STRING) and UTF-16 text (WIDESTRING); an empty text makes the variant null.
  void SetAsString(std::string_view text);
  void SetAsWideString(std::u16string_view text);
  // Platform date values, as DATE (the date part), TIME (the time of day) and DATETIME.
  void SetAsDateValue(TDateTime value);
  void SetAsTimeValue(TDateTime value);
  void SetAsDateTimeValue(TDateTime value);

  // ---- Getters: convert from the variant's data type when it has another ----------------------
  // On a null variant these fail with 30016 "Value is Null".
  int8_t AsShortInt() const;
  int16_t AsSmallInt() const;
  int32_t AsInteger() const;
  int64_t AsLargeInt() const;
  uint8_t AsByte() const;
  uint16_t AsWord() const;
  uint32_t AsCardinal() const;
  float AsSingle() const;
  double AsFloat() const;
  long double AsExtended() const;
  int32_t AsDate() const;
  int32_t AsTime() const;
  TQDXDateTime AsDateTime() const;
  bool AsLogical() const;
  double AsCurrency() const;
  TDateTime AsDateValue() const;
  TDateTime AsTimeValue() const;
  TDateTime AsDateTimeValue() const;
  // On a null variant these give the empty text.
  std::string AsString() const;
  std::u16string AsWideString() const;

  // ---- The dataset framework's variant --------------------------------------------------------
  // Empty and null make the variant null; smallint, integer, single, double, currency, date,
  // OLE string, boolean, byte and 8-bit string go through the setters of SMALLINT, INTEGER,
  // SINGLE, FLOAT, CURRENCY, DATETIME, WIDESTRING, LOGICAL, BYTE and STRING. Other kinds fail
  // with 30113.
  void SetFromVariant(const Variant& value);
  // The reverse; null gives varNull. SHORTINT becomes varSmallint, WORD varInteger, EXTENDED
  // varDouble, DATE and TIME varDate, CHAR and MEMO varString, WIDECHAR and WIDEMEMO varOleStr.
  // LARGEINT, CARDINAL, BLOB, BYTES and VARBYTES fail with 30114.
  Variant AsVariant() const;

  // ---- Raw data -------------------------------------------------------------------------------
  // Deep: allocates and copies (owned). Shallow: shares the other's data (borrowed), which must
  // outlive this variant's use of it.
  void Assign(const TQDXVariant& source, bool deep);
  // Takes `size` bytes of `dataType`'s encoding. With `copy` they are copied (into the owned
  // block when it has the same size, else a new one); without, they are borrowed. Requires: the
  // bytes are a valid encoding (text zero-terminated within `size`).
  void SetData(const void* data, int32_t size, bool copy, TQDXDataType dataType);
  // Copies the value into `buffer` of `capacity` bytes (-1: unchecked). A null variant and an
  // empty text copy nothing and answer false; a capacity below the size fails with 20056.
  bool CopyDataTo(void* buffer, int32_t capacity) const;

  // Converts the value to `dataType` in place; a null variant just takes the type. A failure
  // leaves the variant cleared (null) with the new type, and is raised.
  void ChangeDataType(TQDXDataType dataType);
  // Characters of a text value (string and memo types); -1 for null or any other type.
  int32_t StringLength() const;

  // ---- SQL arithmetic: the result replaces this value -----------------------------------------
  // The operands' common type (compare.h) is the result type; an integer result that does not
  // fit it widens to LARGEINT, and past that to FLOAT. A null operand gives null. Integer
  // division truncates. Non-numeric operands fail with 30123 (negate), 30124 (+), 30126 (-),
  // 30127 (* and /); division by zero fails with 30128.
  void Negate();
  void Add(const TQDXVariant& other);
  void Subtract(const TQDXVariant& other);
  void Multiply(const TQDXVariant& other);
  void Divide(const TQDXVariant& other);

  // CompareValues of this and `other` under the user default locale. With `prefix` only the
  // other's length in characters is compared (partial key searches); without `rawResult` the
  // null answers 3, 4, 5 are folded into 1, 2, 0.
  int Compare(const TQDXVariant& other, bool rawResult, bool prefix, bool caseInsensitive) const;

  // The stored form. Writing raises 10179..10182 for the four items, reading 10183..10186; a
  // stored size that is negative, runs past the stream or does not fit the data type fails with
  // 10185 / 10186. Reading first clears the variant.
  void SaveToStream(TStream& stream) const;
  void LoadFromStream(TStream& stream);

 private:
  void FreeData();
  void Take(TQDXVariant& other) noexcept;
  // Takes `block` as the value, of `size` bytes.
  void Adopt(TQDXMemBlock block, int32_t size);
  // Sets a value given in `sourceType`'s encoding.
  void SetValue(TQDXDataType sourceType, const void* bytes, int32_t size);
  // Reads the value as `type`: straight from the data, or from a converted temporary.
  template <typename V, typename Load>
  V Get(TQDXDataType type, Load load) const;
  void Arithmetic(const TQDXVariant& other, char op);

  TQDXDataType dataType_ = TQDXDataType::None;
  int32_t size_ = 0;
  VariantBytes bytes_;
  uint8_t nullState_ = kNullState;
};

}  // namespace qdx
