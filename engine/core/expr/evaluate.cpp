// Evaluation of a compiled expression against a record buffer (program.h, design notes 1-3).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/core/expr/program.h"
#include "engine/core/record_layout.h"
#include "engine/foundation/little_endian.h"
#include "engine/foundation/types/compare.h"
#include "engine/foundation/types/encoding.h"
#include "engine/foundation/types/strings.h"

namespace qdx::expr {
namespace {

using T = TQDXDataType;

constexpr ValueRef kNullValue{};
// The day number of 9999-12-31: dates lie within the years 1..9999.
constexpr int32_t kLastDay = 3652059;

// Char and String share an encoding, as do WideChar and WideString.
constexpr T TextClass(T type) {
  if (type == T::Char) return T::String;
  if (type == T::WideChar) return T::WideString;
  return type;
}

// A number loaded from any numeric encoding; LOGICAL counts as 1 or 0, as it converts.
struct Number {
  bool IsInteger = true;
  int64_t Integer = 0;
  long double Real = 0;
  long double AsReal() const { return IsInteger ? static_cast<long double>(Integer) : Real; }
};

bool IsNumberType(T type) {
  return IsNumericDataType(type) || type == T::Logical;
}

Number LoadNumber(const ValueRef& v) {
  const uint8_t* p = v.Data;
  Number n;
  switch (v.Type) {
    case T::ShortInt:
      n.Integer = le::Load<int8_t>(p);
      break;
    case T::SmallInt:
      n.Integer = le::Load<int16_t>(p);
      break;
    case T::Integer:
      n.Integer = le::Load<int32_t>(p);
      break;
    case T::LargeInt:
      n.Integer = le::Load<int64_t>(p);
      break;
    case T::Byte:
      n.Integer = le::Load<uint8_t>(p);
      break;
    case T::Word:
      n.Integer = le::Load<uint16_t>(p);
      break;
    case T::Cardinal:
      n.Integer = le::Load<uint32_t>(p);
      break;
    case T::Logical:
      n.Integer = LoadLogical(p) ? 1 : 0;
      break;
    case T::Single:
      n = {false, 0, le::Load<float>(p)};
      break;
    case T::Float:
    case T::Currency:
      n = {false, 0, le::Load<double>(p)};
      break;
    case T::Extended:
      n = {false, 0, LoadExtended(p)};
      break;
    default:
      break;
  }
  return n;
}

// Dates and times on one millisecond scale; a lone time lies on the day it converts to.
int64_t LoadMoment(const ValueRef& v) {
  constexpr int64_t kDay = kMSecsPerDay;
  switch (v.Type) {
    case T::Date:
      return le::Load<int32_t>(v.Data) * kDay;
    case T::Time:
      return kDateDelta * kDay + le::Load<int32_t>(v.Data);
    default: {
      const TQDXDateTime dt = LoadDateTime(v.Data);
      return dt.Date * kDay + dt.Time;
    }
  }
}

template <typename V>
int Order(V a, V b) {
  return a < b ? kCompareLess : (b < a ? kCompareGreater : kCompareEqual);
}

bool Satisfies(uint8_t cmp, int order) {
  switch (cmp) {
    case kEq:
      return order == kCompareEqual;
    case kLt:
      return order == kCompareLess;
    case kGt:
      return order == kCompareGreater;
    case kLe:
      return order != kCompareGreater;
    case kGe:
      return order != kCompareLess;
    default:
      return order != kCompareEqual;
  }
}

Tri ToTri(bool value) {
  return value ? Tri::True : Tri::False;
}
Tri Negate(Tri value) {
  return value == Tri::Unknown ? value : ToTri(value == Tri::False);
}

bool IsWide(T type) {
  return IsWideStringDataType(type);
}

bool IsAnsiText(T type) {
  return type == T::Char || type == T::String;
}
bool IsPrintableAscii(std::string_view text) {
  for (char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// The characters of a text value: 8-bit text as a view, UTF-16 text copied into `wide`.
std::string_view AnsiOf(const ValueRef& v) {
  return LoadAnsiText(v.Data, v.Size);
}
void WideOf(const ValueRef& v, std::u16string& wide) {
  if (IsWide(v.Type)) {
    const size_t units = WideTextLength(v.Data, v.Size / 2);
    wide.resize(units);
    for (size_t i = 0; i < units; ++i) wide[i] = le::Load<char16_t>(v.Data + 2 * i);
  } else {
    const std::string_view text = AnsiOf(v);
    wide.resize(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      wide[i] = platform::AnsiCharToWide(static_cast<uint8_t>(text[i]));
    }
  }
}

ValueRef Store(std::string& scratch, T type, const void* bytes, size_t size) {
  scratch.assign(static_cast<const char*>(bytes), size);
  return {reinterpret_cast<const uint8_t*>(scratch.data()), static_cast<int32_t>(size), type,
          false};
}
ValueRef StoreNumber(std::string& scratch, const Number& n) {
  if (n.IsInteger) return Store(scratch, T::LargeInt, &n.Integer, sizeof n.Integer);
  const double real = static_cast<double>(n.Real);
  return Store(scratch, T::Float, &real, sizeof real);
}
ValueRef StoreWide(std::string& scratch, std::u16string_view text) {
  scratch.assign(2 * (text.size() + 1), '\0');
  StoreWideText(reinterpret_cast<uint8_t*>(scratch.data()), text);
  return {reinterpret_cast<const uint8_t*>(scratch.data()), static_cast<int32_t>(scratch.size()),
          T::WideString, false};
}

// Integer arithmetic that leaves the 64-bit range goes on in long double.
Number Apply(Op op, const Number& a, const Number& b, bool& divisionByZero) {
  if (a.IsInteger && b.IsInteger) {
    int64_t r = 0;
    bool overflow = false;
    switch (op) {
      case Op::Add:
        overflow = __builtin_add_overflow(a.Integer, b.Integer, &r);
        break;
      case Op::Subtract:
        overflow = __builtin_sub_overflow(a.Integer, b.Integer, &r);
        break;
      case Op::Multiply:
        overflow = __builtin_mul_overflow(a.Integer, b.Integer, &r);
        break;
      default:
        if (b.Integer == 0) {
          divisionByZero = true;
          return {};
        }
        overflow = a.Integer == std::numeric_limits<int64_t>::min() && b.Integer == -1;
        if (!overflow) r = a.Integer / b.Integer;  // truncates, as integer division does
        break;
    }
    if (!overflow) return {true, r, 0};
  }
  const long double x = a.AsReal(), y = b.AsReal();
  switch (op) {
    case Op::Add:
      return {false, 0, x + y};
    case Op::Subtract:
      return {false, 0, x - y};
    case Op::Multiply:
      return {false, 0, x * y};
    default:
      if (y == 0) {
        divisionByZero = true;
        return {};
      }
      return {false, 0, x / y};
  }
}

}  // namespace

int CompareRefs(const ValueRef& a, const ValueRef& b, int32_t prefix, bool caseInsensitive) {
  const T ta = TextClass(a.Type), tb = TextClass(b.Type);
  if (ta == tb) {
    return CompareValues(a.Data, b.Data, ta, tb, false, false, prefix, caseInsensitive,
                         platform::UserDefaultLocale(), a.Size, b.Size);
  }
  if (IsNumberType(ta) && IsNumberType(tb)) {
    const Number x = LoadNumber(a), y = LoadNumber(b);
    if (x.IsInteger && y.IsInteger) return Order(x.Integer, y.Integer);
    return Order(x.AsReal(), y.AsReal());
  }
  if (IsDateTimeDataType(ta) && IsDateTimeDataType(tb)) return Order(LoadMoment(a), LoadMoment(b));
  // Text against another class: converted to the common type in buffers of the memory manager.
  return CompareValues(a.Data, b.Data, a.Type, b.Type, false, false, prefix, caseInsensitive,
                       platform::UserDefaultLocale(), a.Size, b.Size);
}

bool Equal(const ValueRef& a, const ValueRef& b, bool caseInsensitive) {
  // Case-sensitive equality of 8-bit texts of printable ASCII is equality of their bytes: the
  // locale's collation (tertiary strength, punctuation not ignorable) gives each of these
  // characters weights of its own, so such texts are equal exactly when their bytes are. This
  // spares the collation for the usual "Name = 'text'" filter.
  if (!caseInsensitive && IsAnsiText(a.Type) && IsAnsiText(b.Type)) {
    const std::string_view x = AnsiOf(a), y = AnsiOf(b);
    if (x == y) return true;
    if (IsPrintableAscii(x) && IsPrintableAscii(y)) return false;
  }
  return CompareRefs(a, b, -1, caseInsensitive) == kCompareEqual;
}

Tri Program::TestNode(int32_t index, const uint8_t* record) const {
  const Node& node = Nodes[static_cast<size_t>(index)];
  switch (node.Kind) {
    case Op::Compare: {
      const ValueRef a = ValueOf(node.A, record);
      if (a.Null) return Tri::Unknown;
      const ValueRef b = ValueOf(node.B, record);
      if (b.Null) return Tri::Unknown;
      if ((node.Cmp == kEq || node.Cmp == kNe) && node.Prefix < 0) {
        return ToTri(Equal(a, b, node.CaseInsensitive) == (node.Cmp == kEq));
      }
      return ToTri(Satisfies(node.Cmp, CompareRefs(a, b, node.Prefix, node.CaseInsensitive)));
    }
    case Op::And:
    case Op::Or: {
      // AND: False wins, then Unknown; OR: True wins, then Unknown.
      const Tri decisive = node.Kind == Op::And ? Tri::False : Tri::True;
      Tri result = node.Kind == Op::And ? Tri::True : Tri::False;
      for (int32_t i = 0; i < node.Count; ++i) {
        const Tri t = TestNode(Args[static_cast<size_t>(node.First + i)], record);
        if (t == decisive) return t;
        if (t == Tri::Unknown) result = Tri::Unknown;
      }
      return result;
    }
    case Op::Not:
      return Negate(TestNode(node.A, record));
    case Op::IsNull:
      return ToTri(ValueOf(node.A, record).Null != node.Negated);
    case Op::IsTrue: {
      const ValueRef v = ValueOf(node.A, record);
      if (v.Null) return Tri::Unknown;
      return ToTri(LoadLogical(v.Data));
    }
    case Op::Like: {
      const Tri t = Like(node, record);
      return node.Negated ? Negate(t) : t;
    }
    case Op::In: {
      const ValueRef a = ValueOf(node.A, record);
      Tri result = Tri::False;
      if (a.Null) {
        result = Tri::Unknown;
      } else {
        for (int32_t i = 0; i < node.Count; ++i) {
          const ValueRef item = ValueOf(Args[static_cast<size_t>(node.First + i)], record);
          if (item.Null) {
            result = Tri::Unknown;
          } else if (Equal(a, item, node.CaseInsensitive)) {
            result = Tri::True;
            break;
          }
        }
      }
      return node.Negated ? Negate(result) : result;
    }
    case Op::Between: {
      const ValueRef a = ValueOf(node.A, record);
      Tri result = Tri::Unknown;
      if (!a.Null) {
        const ValueRef low = ValueOf(node.B, record);
        const Tri above =
            low.Null ? Tri::Unknown
                     : ToTri(CompareRefs(a, low, -1, node.CaseInsensitive) != kCompareLess);
        const ValueRef high = ValueOf(node.C, record);
        const Tri below =
            high.Null ? Tri::Unknown
                      : ToTri(CompareRefs(a, high, -1, node.CaseInsensitive) != kCompareGreater);
        if (above == Tri::False || below == Tri::False) {
          result = Tri::False;
        } else if (above == Tri::True && below == Tri::True) {
          result = Tri::True;
        }
      }
      return node.Negated ? Negate(result) : result;
    }
    default:
      return Tri::Unknown;  // a value node: the builder never makes one a condition
  }
}

ValueRef Program::ValueOf(int32_t index, const uint8_t* record) const {
  const Node& node = Nodes[static_cast<size_t>(index)];
  switch (node.Kind) {
    case Op::Field:
      return {record + node.Offset, node.Size, node.Type, IsNull(node.FieldNo, record)};
    case Op::Constant:
      return Constants[static_cast<size_t>(node.Offset)].Ref();
    case Op::Negate:
    case Op::Add:
    case Op::Subtract:
    case Op::Multiply:
    case Op::Divide:
      return Arithmetic(node, record);
    case Op::Upper:
    case Op::Lower:
    case Op::Trim:
    case Op::Substring:
      return TextFunction(node, record);
    case Op::CurrentDate:
    case Op::CurrentTime:
    case Op::CurrentTimestamp:
      return ClockValue(node);
    default:
      return kNullValue;
  }
}

ValueRef Program::Arithmetic(const Node& node, const uint8_t* record) const {
  std::string& scratch = ScratchOf(node);
  const ValueRef a = ValueOf(node.A, record);
  if (a.Null) return kNullValue;
  if (node.Kind == Op::Negate) {
    Number n = LoadNumber(a);
    if (n.IsInteger && n.Integer != std::numeric_limits<int64_t>::min()) {
      n.Integer = -n.Integer;
    } else {
      n = {false, 0, -n.AsReal()};
    }
    return StoreNumber(scratch, n);
  }
  const ValueRef b = ValueOf(node.B, record);
  if (b.Null) return kNullValue;
  const bool dateA = IsDateTimeDataType(a.Type), dateB = IsDateTimeDataType(b.Type);
  if (dateA && dateB) {
    // Only subtraction: the days between, whole for two dates.
    if (a.Type == T::Date && b.Type == T::Date) {
      const int64_t days = int64_t{le::Load<int32_t>(a.Data)} - le::Load<int32_t>(b.Data);
      return Store(scratch, T::LargeInt, &days, sizeof days);
    }
    const double days =
        static_cast<double>(LoadMoment(a) - LoadMoment(b)) / static_cast<double>(kMSecsPerDay);
    return Store(scratch, T::Float, &days, sizeof days);
  }
  if (dateA || dateB) {
    // A date or a date and time moved by a number of days.
    const ValueRef& moment = dateA ? a : b;
    long double days = LoadNumber(dateA ? b : a).AsReal();
    if (node.Kind == Op::Subtract) days = -days;
    if (moment.Type == T::Date) {
      const long double day = le::Load<int32_t>(moment.Data) + std::trunc(days);
      if (!(day >= 1 && day <= kLastDay)) return kNullValue;
      const int32_t dayNumber = static_cast<int32_t>(day);
      return Store(scratch, T::Date, &dayNumber, sizeof dayNumber);
    }
    const long double ms = static_cast<long double>(LoadMoment(moment)) +
                           std::round(days * static_cast<long double>(kMSecsPerDay));
    const long double day = std::floor(ms / kMSecsPerDay);
    if (!(day >= 1 && day <= kLastDay)) return kNullValue;
    uint8_t bytes[8];
    StoreDateTime(bytes, {static_cast<int32_t>(day),
                          static_cast<int32_t>(ms - day * static_cast<long double>(kMSecsPerDay))});
    return Store(scratch, T::DateTime, bytes, sizeof bytes);
  }
  bool divisionByZero = false;
  const Number result = Apply(node.Kind, LoadNumber(a), LoadNumber(b), divisionByZero);
  // Division by zero has no value: the comparison it takes part in is unknown.
  if (divisionByZero) return kNullValue;
  return StoreNumber(scratch, result);
}

ValueRef Program::TextFunction(const Node& node, const uint8_t* record) const {
  std::string& scratch = ScratchOf(node);
  const ValueRef text = ValueOf(node.A, record);
  if (text.Null) return kNullValue;
  std::u16string& wide = WideScratch[static_cast<size_t>(node.Scratch)];
  const bool isWide = IsWide(text.Type);
  if (isWide) {
    WideOf(text, wide);
  } else {
    const std::string_view ansi = AnsiOf(text);
    wide.clear();
    scratch.assign(ansi);  // 8-bit text is worked on in place in the scratch
  }
  // The working text: `scratch` for 8-bit text, `wide` for UTF-16.
  const size_t length = isWide ? wide.size() : scratch.size();
  size_t from = 0, to = length;
  switch (node.Kind) {
    case Op::Upper:
    case Op::Lower: {
      const bool upper = node.Kind == Op::Upper;
      if (isWide) {
        (upper ? platform::WideUpperCaseInPlace : platform::WideLowerCaseInPlace)(wide.data(),
                                                                                  wide.size());
      } else {
        for (char& c : scratch) {
          const uint8_t b = static_cast<uint8_t>(c);
          c = static_cast<char>(upper ? AnsiUpperChar(b) : AnsiLowerChar(b));
        }
      }
      break;
    }
    case Op::Trim: {
      auto blank = [&](size_t i) { return (isWide ? wide[i] : scratch[i]) == ' '; };
      while (from < to && blank(from)) ++from;
      while (to > from && blank(to - 1)) --to;
      break;
    }
    default: {  // Substring: characters from a 1-based start, optionally so many of them
      const ValueRef start = ValueOf(node.B, record);
      if (start.Null) return kNullValue;
      const long double first = LoadNumber(start).AsReal();
      long double last = static_cast<long double>(length) + 1;  // exclusive
      if (node.C >= 0) {
        const ValueRef count = ValueOf(node.C, record);
        if (count.Null) return kNullValue;
        last = std::min(last, first + LoadNumber(count).AsReal());
      }
      const long double begin = std::max<long double>(first, 1);
      if (!(last > begin)) {
        to = from;  // empty
      } else {
        from = static_cast<size_t>(begin) - 1;
        to = static_cast<size_t>(last) - 1;
        if (from > length) from = length;
      }
      break;
    }
  }
  if (isWide) return StoreWide(scratch, std::u16string_view(wide).substr(from, to - from));
  scratch.erase(to);
  scratch.erase(0, from);
  scratch.push_back('\0');
  return {reinterpret_cast<const uint8_t*>(scratch.data()), static_cast<int32_t>(scratch.size()),
          T::String, false};
}

ValueRef Program::ClockValue(const Node& node) const {
  std::string& scratch = ScratchOf(node);
  const platform::LocalTime now = CurrentTime();
  int32_t day = 0;
  if (!TryEncodeDate(now.Year, now.Month, now.Day, day)) return kNullValue;
  switch (node.Kind) {
    case Op::CurrentDate:
      return Store(scratch, T::Date, &day, sizeof day);
    case Op::CurrentTime:
      return Store(scratch, T::Time, &now.Milliseconds, sizeof now.Milliseconds);
    default: {
      uint8_t bytes[8];
      StoreDateTime(bytes, {day, now.Milliseconds});
      return Store(scratch, T::DateTime, bytes, sizeof bytes);
    }
  }
}

Tri Program::Like(const Node& node, const uint8_t* record) const {
  const ValueRef text = ValueOf(node.A, record);
  if (text.Null) return Tri::Unknown;
  std::u16string& wideText = WideScratch[static_cast<size_t>(node.Scratch)];
  if (node.Pattern >= 0) {
    WideOf(text, wideText);
    return ToTri(Patterns[static_cast<size_t>(node.Pattern)].Matches(wideText));
  }
  // A pattern computed per record.
  const ValueRef pattern = ValueOf(node.B, record);
  if (pattern.Null) return Tri::Unknown;
  ValueRef escape;
  if (node.C >= 0) {
    escape = ValueOf(node.C, record);
    if (escape.Null) return Tri::Unknown;
  }
  const bool useEscape = node.C >= 0;
  if (!IsWide(text.Type) && !IsWide(pattern.Type) && !(useEscape && IsWide(escape.Type))) {
    const std::string_view escapeText = useEscape ? AnsiOf(escape) : std::string_view();
    return ToTri(MatchesLike(AnsiOf(text), AnsiOf(pattern), !escapeText.empty(),
                             node.CaseInsensitive, escapeText.empty() ? '\0' : escapeText[0]));
  }
  std::u16string widePattern, wideEscape;
  WideOf(text, wideText);
  WideOf(pattern, widePattern);
  if (useEscape) WideOf(escape, wideEscape);
  return ToTri(MatchesLike(wideText, widePattern, !wideEscape.empty(), node.CaseInsensitive,
                           wideEscape.empty() ? u'\0' : wideEscape[0]));
}

}  // namespace qdx::expr
