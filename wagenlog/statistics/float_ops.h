// The floating-point faults of the statistics and chart arithmetic, raised where the hardware
// of the original program would have trapped: x / 0 with x not 0 is EZeroDivide, 0 / 0 and a
// value too large to round to a 64-bit integer are EInvalidOp. Intermediates are extended
// (80-bit x87) long doubles.
#pragma once

#include <cstdint>

#include "engine/foundation/except.h"

namespace qdx {

class EZeroDivide : public EFrameworkException {
 public:
  EZeroDivide();
};

class EInvalidOp : public EFrameworkException {
 public:
  EInvalidOp();
};

// a / b in extended precision; raises on a zero divisor.
long double Divide(long double a, long double b);
// The nearest 64-bit integer, ties to even; raises EInvalidOp outside the range (or for NaN).
int64_t RoundToEven(long double value);

}  // namespace qdx
