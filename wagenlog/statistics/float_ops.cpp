#include "wagenlog/statistics/float_ops.h"

#include <cmath>

#include "engine/foundation/messages.h"

namespace qdx {

EZeroDivide::EZeroDivide() : EFrameworkException(msg::kFloatingPointDivisionByZero) {}
EInvalidOp::EInvalidOp() : EFrameworkException(msg::kInvalidFloatingPointOperation) {}

long double Divide(long double a, long double b) {
  if (b == 0) {
    if (a == 0 || std::isnan(a)) throw EInvalidOp();
    throw EZeroDivide();
  }
  return a / b;
}

int64_t RoundToEven(long double value) {
  // 2^63 itself does not fit; the nearest integer of anything below it does.
  constexpr long double kLimit = 9223372036854775808.0L;
  const long double rounded = std::nearbyint(value);  // default mode: to nearest, ties to even
  if (!(rounded < kLimit && rounded >= -kLimit)) throw EInvalidOp();
  return static_cast<int64_t>(rounded);
}

}  // namespace qdx
