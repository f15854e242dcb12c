// Variant: the dataset framework's variant, as far as the engine meets it.
//
// A small tagged value: empty, null, 16-bit and 32-bit integers, single, double, currency, date,
// wide string, 8-bit string, boolean and byte. The kind numbers are the framework's own, since
// an engine error about an unsupported kind shows the number. Other kinds exist in the framework
// (errors, interfaces, arrays ...); a Variant can carry such a kind number without a value, so
// that the engine's refusal of them can be exercised.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/foundation/types/date_time.h"

namespace qdx {

enum TVarType : uint16_t {
  varEmpty = 0x0000,
  varNull = 0x0001,
  varSmallint = 0x0002,
  varInteger = 0x0003,
  varSingle = 0x0004,
  varDouble = 0x0005,
  varCurrency = 0x0006,  // 64-bit integer of hundredths of hundredths
  varDate = 0x0007,
  varOleStr = 0x0008,  // UTF-16 text
  varError = 0x000A,
  varBoolean = 0x000B,
  varVariant = 0x000C,
  varByte = 0x0011,
  varString = 0x0100,  // 8-bit text
};

class Variant {
 public:
  Variant() = default;  // empty
  static Variant Null() { return Variant(varNull); }
  static Variant FromSmallint(int16_t v) { return Variant(varSmallint, v); }
  static Variant FromInteger(int32_t v) { return Variant(varInteger, v); }
  static Variant FromSingle(float v) { return Variant(varSingle, 0, v); }
  static Variant FromDouble(double v) { return Variant(varDouble, 0, v); }
  // `scaled` is the amount times 10 000.
  static Variant FromCurrency(int64_t scaled) { return Variant(varCurrency, scaled); }
  static Variant FromDate(TDateTime v) { return Variant(varDate, 0, v); }
  static Variant FromOleStr(std::u16string v) {
    Variant r(varOleStr);
    r.wide_ = std::move(v);
    return r;
  }
  static Variant FromString(std::string v) {
    Variant r(varString);
    r.ansi_ = std::move(v);
    return r;
  }
  static Variant FromBoolean(bool v) { return Variant(varBoolean, v ? 1 : 0); }
  static Variant FromByte(uint8_t v) { return Variant(varByte, v); }
  // A kind without a value (for kinds the engine does not take).
  static Variant OfKind(uint16_t kind) { return Variant(kind); }

  uint16_t VarType() const { return kind_; }
  bool IsEmpty() const { return kind_ == varEmpty; }
  bool IsNull() const { return kind_ == varNull; }

  // The value of the matching kind; other kinds give 0 or empty text.
  int64_t AsInt64() const { return integer_; }  // smallint, integer, byte, boolean, currency
  double AsDouble() const { return real_; }     // single, double, date
  const std::u16string& AsOleStr() const { return wide_; }
  const std::string& AsString() const { return ansi_; }

  friend bool operator==(const Variant&, const Variant&) = default;

 private:
  explicit Variant(uint16_t kind, int64_t integer = 0, double real = 0)
      : kind_(kind), integer_(integer), real_(real) {}

  uint16_t kind_ = varEmpty;
  int64_t integer_ = 0;
  double real_ = 0;
  std::u16string wide_;
  std::string ansi_;
};

}  // namespace qdx
