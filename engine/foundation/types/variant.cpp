#include "engine/foundation/types/variant.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "engine/foundation/except.h"
#include "engine/foundation/memory.h"
#include "engine/foundation/messages.h"
#include "engine/foundation/platform/locale.h"
#include "engine/foundation/types/compare.h"
#include "engine/foundation/types/convert.h"
#include "engine/foundation/types/encoding.h"

namespace qdx {
namespace {

using T = TQDXDataType;

bool IsIntegerType(T t) {
  return t >= T::ShortInt && t <= T::Cardinal;
}

bool IntegerFits(T type, int64_t v) {
  switch (type) {
    case T::ShortInt:
      return v >= INT8_MIN && v <= INT8_MAX;
    case T::SmallInt:
      return v >= INT16_MIN && v <= INT16_MAX;
    case T::Integer:
      return v >= INT32_MIN && v <= INT32_MAX;
    case T::Byte:
      return v >= 0 && v <= UINT8_MAX;
    case T::Word:
      return v >= 0 && v <= UINT16_MAX;
    case T::Cardinal:
      return v >= 0 && v <= UINT32_MAX;
    default:
      return true;
  }
}

}  // namespace

void TQDXVariant::FreeData() {
  bytes_.Release();
  size_ = 0;
}

void TQDXVariant::Take(TQDXVariant& other) noexcept {
  dataType_ = other.dataType_;
  size_ = std::exchange(other.size_, 0);
  bytes_ = std::move(other.bytes_);
  nullState_ = std::exchange(other.nullState_, kNullState);
}

void TQDXVariant::Adopt(TQDXMemBlock block, int32_t size) {
  bytes_.Own(std::move(block));
  size_ = size;
  nullState_ = 0;
}

void TQDXVariant::Clear(TQDXDataType dataType) {
  FreeData();
  dataType_ = dataType;
  nullState_ = kNullState;
}

void TQDXVariant::SetValue(TQDXDataType sourceType, const void* bytes, int32_t size) {
  if (dataType_ == T::None) dataType_ = sourceType;
  if (dataType_ == sourceType) {
    if (bytes_.Owned() && size_ == size) {
      std::memcpy(bytes_.Owned(), bytes, static_cast<size_t>(size));  // in place
    } else {
      TQDXMemBlock block(size);
      std::memcpy(block.data(), bytes, static_cast<size_t>(size));
      Adopt(std::move(block), size);
    }
    nullState_ = 0;
    return;
  }
  int32_t convertedSize = 0;
  TQDXMemBlock converted = ConvertValue({static_cast<const uint8_t*>(bytes), size, sourceType},
                                        dataType_, convertedSize);
  Adopt(std::move(converted), convertedSize);
}

#define QDX_FIXED_SETTER(Name, Type, DataTypeCode) \
  void TQDXVariant::Name(Type value) {             \
    uint8_t bytes[sizeof(Type)];                   \
    le::Store<Type>(bytes, value);                 \
    SetValue(DataTypeCode, bytes, sizeof(Type));   \
  }

QDX_FIXED_SETTER(SetAsShortInt, int8_t, T::ShortInt)
QDX_FIXED_SETTER(SetAsSmallInt, int16_t, T::SmallInt)
QDX_FIXED_SETTER(SetAsInteger, int32_t, T::Integer)
QDX_FIXED_SETTER(SetAsLargeInt, int64_t, T::LargeInt)
QDX_FIXED_SETTER(SetAsByte, uint8_t, T::Byte)
QDX_FIXED_SETTER(SetAsWord, uint16_t, T::Word)
QDX_FIXED_SETTER(SetAsCardinal, uint32_t, T::Cardinal)
QDX_FIXED_SETTER(SetAsSingle, float, T::Single)
QDX_FIXED_SETTER(SetAsFloat, double, T::Float)
QDX_FIXED_SETTER(SetAsDate, int32_t, T::Date)
QDX_FIXED_SETTER(SetAsTime, int32_t, T::Time)
QDX_FIXED_SETTER(SetAsCurrency, double, T::Currency)
#undef QDX_FIXED_SETTER

void TQDXVariant::SetAsExtended(long double value) {
  uint8_t bytes[kExtendedSize];
  StoreExtended(bytes, value);
  SetValue(T::Extended, bytes, kExtendedSize);
}

void TQDXVariant::SetAsDateTime(TQDXDateTime value) {
  uint8_t bytes[8];
  StoreDateTime(bytes, value);
  SetValue(T::DateTime, bytes, 8);
}

void TQDXVariant::SetAsLogical(bool value) {
  uint8_t bytes[2];
  StoreLogical(bytes, value);
  SetValue(T::Logical, bytes, 2);
}

void TQDXVariant::SetAsString(std::string_view text) {
  if (text.empty()) {
    if (dataType_ == T::None) dataType_ = T::String;
    FreeData();
    nullState_ = kNullState;
    return;
  }
  // The text ends at its first zero, as it would in the stored encoding.
  text = text.substr(0, std::min(text.find('\0'), text.size()));
  std::string terminated(text);
  SetValue(T::String, terminated.c_str(), static_cast<int32_t>(terminated.size() + 1));
}

void TQDXVariant::SetAsWideString(std::u16string_view text) {
  if (text.empty()) {
    if (dataType_ == T::None) dataType_ = T::WideString;
    FreeData();
    nullState_ = kNullState;
    return;
  }
  text = text.substr(0, std::min(text.find(u'\0'), text.size()));
  const int32_t size = static_cast<int32_t>((text.size() + 1) * 2);
  TQDXMemBlock bytes(size);
  StoreWideText(bytes.data(), text);
  le::Store<char16_t>(bytes.data() + size - 2, u'\0');
  SetValue(T::WideString, bytes.data(), size);
}

void TQDXVariant::SetAsDateValue(TDateTime value) {
  SetAsDate(DateTimeToQDX(value).Date);
}
void TQDXVariant::SetAsTimeValue(TDateTime value) {
  SetAsTime(DateTimeToQDX(value).Time);
}
void TQDXVariant::SetAsDateTimeValue(TDateTime value) {
  SetAsDateTime(DateTimeToQDX(value));
}

template <typename V, typename Load>
V TQDXVariant::Get(TQDXDataType type, Load load) const {
  if (IsNull()) Raise(msg::kVariantValueIsNull);
  if (dataType_ == type) {
    if (size_ < DataSize(type)) RaiseBufferSizeExceeded();
    return load(Data());
  }
  int32_t size = 0;
  const TQDXMemBlock converted = ConvertValue({Data(), size_, dataType_}, type, size);
  return load(converted.data());
}

int8_t TQDXVariant::AsShortInt() const {
  return Get<int8_t>(T::ShortInt, le::Load<int8_t>);
}
int16_t TQDXVariant::AsSmallInt() const {
  return Get<int16_t>(T::SmallInt, le::Load<int16_t>);
}
int32_t TQDXVariant::AsInteger() const {
  return Get<int32_t>(T::Integer, le::Load<int32_t>);
}
int64_t TQDXVariant::AsLargeInt() const {
  return Get<int64_t>(T::LargeInt, le::Load<int64_t>);
}
uint8_t TQDXVariant::AsByte() const {
  return Get<uint8_t>(T::Byte, le::Load<uint8_t>);
}
uint16_t TQDXVariant::AsWord() const {
  return Get<uint16_t>(T::Word, le::Load<uint16_t>);
}
uint32_t TQDXVariant::AsCardinal() const {
  return Get<uint32_t>(T::Cardinal, le::Load<uint32_t>);
}
float TQDXVariant::AsSingle() const {
  return Get<float>(T::Single, le::Load<float>);
}
double TQDXVariant::AsFloat() const {
  return Get<double>(T::Float, le::Load<double>);
}
long double TQDXVariant::AsExtended() const {
  return Get<long double>(T::Extended, LoadExtended);
}
int32_t TQDXVariant::AsDate() const {
  return Get<int32_t>(T::Date, le::Load<int32_t>);
}
int32_t TQDXVariant::AsTime() const {
  return Get<int32_t>(T::Time, le::Load<int32_t>);
}
TQDXDateTime TQDXVariant::AsDateTime() const {
  return Get<TQDXDateTime>(T::DateTime, LoadDateTime);
}
bool TQDXVariant::AsLogical() const {
  return Get<bool>(T::Logical, LoadLogical);
}
double TQDXVariant::AsCurrency() const {
  return Get<double>(T::Currency, le::Load<double>);
}
TDateTime TQDXVariant::AsDateValue() const {
  return DayNumberToDateValue(AsDate());
}
TDateTime TQDXVariant::AsTimeValue() const {
  return MillisecondsToDateValue(AsTime());
}
TDateTime TQDXVariant::AsDateTimeValue() const {
  return QDXToDateTime(AsDateTime());
}

std::string TQDXVariant::AsString() const {
  if (IsNull()) return {};
  switch (dataType_) {
    case T::Char:
    case T::String:
      return std::string(LoadAnsiText(Data(), size_));
    case T::Memo:
      return std::string(reinterpret_cast<const char*>(Data()), static_cast<size_t>(size_));
    default: {
      int32_t size = 0;
      const TQDXMemBlock converted = ConvertValue({Data(), size_, dataType_}, T::String, size);
      return std::string(LoadAnsiText(converted.data(), size));
    }
  }
}

std::u16string TQDXVariant::AsWideString() const {
  if (IsNull()) return {};
  switch (dataType_) {
    case T::WideChar:
    case T::WideString:
      return LoadWideText(Data(), WideTextLength(Data(), size_ / 2));
    case T::WideMemo:
      return LoadWideText(Data(), static_cast<size_t>(size_ / 2));
    default: {
      int32_t size = 0;
      const TQDXMemBlock converted = ConvertValue({Data(), size_, dataType_}, T::WideString, size);
      return LoadWideText(converted.data(), WideTextLength(converted.data(), size / 2));
    }
  }
}

void TQDXVariant::SetFromVariant(const Variant& value) {
  switch (value.VarType()) {
    case varEmpty:
    case varNull:
      FreeData();
      nullState_ = kNullState;
      return;
    case varSmallint:
      return SetAsSmallInt(static_cast<int16_t>(value.AsInt64()));
    case varInteger:
      return SetAsInteger(static_cast<int32_t>(value.AsInt64()));
    case varSingle:
      return SetAsSingle(static_cast<float>(value.AsDouble()));
    case varDouble:
      return SetAsFloat(value.AsDouble());
    case varCurrency:
      return SetAsCurrency(static_cast<double>(static_cast<long double>(value.AsInt64()) / 10000));
    case varDate:
      return SetAsDateTimeValue(value.AsDouble());
    case varOleStr:
      return SetAsWideString(value.AsOleStr());
    case varBoolean:
      return SetAsLogical(value.AsInt64() != 0);
    case varByte:
      return SetAsByte(static_cast<uint8_t>(value.AsInt64()));
    case varString:
      return SetAsString(value.AsString());
    default:
      Raise(msg::kUnsupportedVariantTypeIn, {std::to_string(value.VarType())});
  }
}

Variant TQDXVariant::AsVariant() const {
  if (IsNull()) return Variant::Null();
  switch (dataType_) {
    case T::ShortInt:
    case T::SmallInt:
      return Variant::FromSmallint(AsSmallInt());
    case T::Integer:
    case T::Word:
      return Variant::FromInteger(AsInteger());
    case T::Byte:
      return Variant::FromByte(AsByte());
    case T::Single:
      return Variant::FromSingle(AsSingle());
    case T::Float:
    case T::Extended:
      return Variant::FromDouble(AsFloat());
    case T::Currency: {
      const double amount = CheckedCurrency(AsCurrency());
      return Variant::FromCurrency(static_cast<int64_t>(std::llround(amount * 10000.0L)));
    }
    case T::Date:
    case T::Time:
    case T::DateTime:
      return Variant::FromDate(AsDateTimeValue());
    case T::Char:
    case T::String:
    case T::Memo:
      return Variant::FromString(AsString());
    case T::WideChar:
    case T::WideString:
    case T::WideMemo:
      return Variant::FromOleStr(AsWideString());
    case T::Logical:
      return Variant::FromBoolean(AsLogical());
    default:
      Raise(msg::kUnsupportedVariantTypeOut, {DataTypeName(dataType_)});
  }
}

void TQDXVariant::Assign(const TQDXVariant& source, bool deep) {
  if (&source == this) return;
  if (deep && source.Data() && source.size_ > 0) {
    TQDXMemBlock block(source.size_);
    std::memcpy(block.data(), source.Data(), static_cast<size_t>(source.size_));
    Adopt(std::move(block), source.size_);
  } else {
    FreeData();
    if (!deep && source.Data()) {
      bytes_.Borrow(source.Data());
      size_ = source.size_;
    }
  }
  dataType_ = source.dataType_;
  nullState_ = source.nullState_;
}

void TQDXVariant::SetData(const void* data, int32_t size, bool copy, TQDXDataType dataType) {
  if (!data || size <= 0) {
    Clear(dataType);
    return;
  }
  if (copy) {
    if (bytes_.Owned() && size_ == size) {
      std::memmove(bytes_.Owned(), data, static_cast<size_t>(size));
    } else {
      TQDXMemBlock block(size);
      std::memcpy(block.data(), data, static_cast<size_t>(size));
      Adopt(std::move(block), size);
    }
  } else {
    bytes_.Borrow(static_cast<const uint8_t*>(data));
    size_ = size;
  }
  dataType_ = dataType;
  nullState_ = 0;
}

bool TQDXVariant::CopyDataTo(void* buffer, int32_t capacity) const {
  if (IsNull()) return false;
  if (capacity != -1 && capacity < size_) RaiseBufferSizeExceeded();
  // An empty text is only its terminator.
  const int32_t emptySize = IsWideStringDataType(dataType_) ? 2 : 1;
  if (IsStringDataType(dataType_) && size_ <= emptySize) return false;
  std::memcpy(buffer, Data(), static_cast<size_t>(size_));
  return true;
}

void TQDXVariant::ChangeDataType(TQDXDataType dataType) {
  if (IsNull() || dataType_ == T::None) {
    dataType_ = dataType;
    return;
  }
  if (dataType == dataType_) return;
  if (dataType_ == T::Memo && dataType == T::String) {
    TQDXMemBlock block(size_ + 1);
    std::memcpy(block.data(), Data(), static_cast<size_t>(size_));
    block.data()[size_] = 0;
    Adopt(std::move(block), size_ + 1);
    dataType_ = dataType;
    return;
  }
  try {
    int32_t size = 0;
    TQDXMemBlock converted = ConvertValue({Data(), size_, dataType_}, dataType, size);
    Adopt(std::move(converted), size);
    dataType_ = dataType;
  } catch (...) {
    Clear(dataType);
    throw;
  }
}

int32_t TQDXVariant::StringLength() const {
  if (IsNull()) return -1;
  switch (dataType_) {
    case T::Char:
    case T::String:
      return static_cast<int32_t>(LoadAnsiText(Data(), size_).size());
    case T::WideChar:
    case T::WideString:
      return static_cast<int32_t>(WideTextLength(Data(), size_ / 2));
    case T::Memo:
      return size_;
    case T::WideMemo:
      return size_ / 2;
    default:
      return -1;
  }
}

void TQDXVariant::Negate() {
  if (!IsNumericDataType(dataType_)) {
    Raise(msg::kCannotInvertNonNumeric, {DataTypeName(dataType_)});
  }
  if (IsNull()) return;
  const T type = dataType_;
  if (IsIntegerType(type)) {
    const int64_t value = AsLargeInt();
    if (value != std::numeric_limits<int64_t>::min()) {
      Clear(IntegerFits(type, -value) ? type : T::LargeInt);
      SetAsLargeInt(-value);
      return;
    }
    Clear(T::Float);
    SetAsExtended(-static_cast<long double>(value));
    return;
  }
  const long double value = AsExtended();
  Clear(type);
  SetAsExtended(-value);
}

void TQDXVariant::Add(const TQDXVariant& other) {
  Arithmetic(other, '+');
}
void TQDXVariant::Subtract(const TQDXVariant& other) {
  Arithmetic(other, '-');
}
void TQDXVariant::Multiply(const TQDXVariant& other) {
  Arithmetic(other, '*');
}
void TQDXVariant::Divide(const TQDXVariant& other) {
  Arithmetic(other, '/');
}

void TQDXVariant::Arithmetic(const TQDXVariant& other, char op) {
  if (!IsNumericDataType(dataType_) || !IsNumericDataType(other.dataType_)) {
    const msg::Message& failure = op == '+'   ? msg::kAddNotNumeric
                                  : op == '-' ? msg::kSubtractNotNumeric
                                              : msg::kMultiplyNotNumeric;
    Raise(failure, {std::string(1, op)});
  }
  const T common =
      dataType_ == other.dataType_ ? dataType_ : CommonDataType(dataType_, other.dataType_);
  if (IsNull() || other.IsNull()) {
    Clear(common);
    return;
  }
  if (IsIntegerType(common)) {
    const int64_t a = AsLargeInt(), b = other.AsLargeInt();
    int64_t result = 0;
    bool overflow = false;
    switch (op) {
      case '+':
        overflow = __builtin_add_overflow(a, b, &result);
        break;
      case '-':
        overflow = __builtin_sub_overflow(a, b, &result);
        break;
      case '*':
        overflow = __builtin_mul_overflow(a, b, &result);
        break;
      default:
        if (b == 0) Raise(msg::kDivisionError, {"Division by zero"});
        overflow = a == std::numeric_limits<int64_t>::min() && b == -1;
        if (!overflow) result = a / b;
        break;
    }
    if (!overflow) {
      Clear(IntegerFits(common, result) ? common : T::LargeInt);
      SetAsLargeInt(result);
      return;
    }
    long double wide = static_cast<long double>(a);
    const long double wideB = static_cast<long double>(b);
    wide = op == '+'   ? wide + wideB
           : op == '-' ? wide - wideB
           : op == '*' ? wide * wideB
                       : wide / wideB;
    Clear(T::Float);
    SetAsExtended(wide);
    return;
  }
  const long double a = AsExtended(), b = other.AsExtended();
  long double result = 0;
  switch (op) {
    case '+':
      result = a + b;
      break;
    case '-':
      result = a - b;
      break;
    case '*':
      result = a * b;
      break;
    default:
      if (b == 0) {
        Raise(msg::kDivisionError, {"Floating point division by zero"});
      }
      result = a / b;
      break;
  }
  Clear(common);
  SetAsExtended(result);
}

int TQDXVariant::Compare(const TQDXVariant& other, bool rawResult, bool prefix,
                         bool caseInsensitive) const {
  const int32_t length = prefix ? other.StringLength() : -1;
  const int result =
      CompareValues(Data(), other.Data(), dataType_, other.dataType_, IsNull(), other.IsNull(),
                    length, caseInsensitive, platform::UserDefaultLocale(), size_, other.size_);
  return rawResult ? result : FoldNullResult(result);
}

void TQDXVariant::SaveToStream(TStream& stream) const {
  const bool isNull = IsNull();
  CheckedWriteValue<uint8_t>(stream, static_cast<uint8_t>(dataType_), msg::kWriteVariantDataType);
  CheckedWriteValue<uint8_t>(stream, isNull ? (nullState_ ? nullState_ : kNullState) : 0,
                             msg::kWriteVariantNullState);
  if (isNull) return;
  CheckedWriteValue<int32_t>(stream, size_, msg::kWriteVariantSize);
  CheckedWrite(Data(), size_, stream, msg::kWriteVariantData);
}

namespace {
// Whether `size` bytes can hold a value of `type`: fixed types need their exact size, text its
// terminator, so that no later read runs off the block.
bool ValidStoredSize(T type, const uint8_t* data, int32_t size) {
  switch (type) {
    case T::Char:
    case T::String:
      return size >= 1 && data[size - 1] == 0;
    case T::WideChar:
    case T::WideString:
      return size >= 2 && size % 2 == 0 && data[size - 1] == 0 && data[size - 2] == 0;
    case T::WideMemo:
      return size % 2 == 0;
    case T::Memo:
    case T::Bytes:
    case T::VarBytes:
      return true;
    case T::Blob:
      return size == 10;
    default:
      return static_cast<uint8_t>(type) >= 1 && static_cast<uint8_t>(type) <= 24 &&
             size == DataSize(type);
  }
}
}  // namespace

void TQDXVariant::LoadFromStream(TStream& stream) {
  Clear(T::None);
  const auto type = static_cast<T>(CheckedReadValue<uint8_t>(stream, msg::kReadVariantDataType));
  const uint8_t nullState = CheckedReadValue<uint8_t>(stream, msg::kReadVariantNullState);
  dataType_ = type;
  if (nullState != 0) {
    nullState_ = nullState;
    return;
  }
  const int32_t size = CheckedReadValue<int32_t>(stream, msg::kReadVariantSize);
  if (size < 0) Raise(msg::kInvalidStoredValueSize, {DataTypeName(type), size});
  // Data the stream does not hold is the short read it would be, found before the size is
  // allocated.
  const int64_t remaining = static_cast<int64_t>(stream.Size()) - stream.Position();
  if (size > remaining) {
    Raise(msg::kReadVariantData, {stream.Position(), stream.Size(), size, 0});
  }
  if (size == 0) {
    nullState_ = 0;  // no data: still null by its missing data
    return;
  }
  TQDXMemBlock block(size);
  CheckedRead(block.data(), size, stream, msg::kReadVariantData);
  if (!ValidStoredSize(type, block.data(), size)) {
    Raise(msg::kInvalidStoredValueData, {DataTypeName(type), size});
  }
  Adopt(std::move(block), size);
}

}  // namespace qdx
