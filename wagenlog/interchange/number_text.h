// Numbers in CSV files, with a decimal comma or a decimal point, and their written form.
//
// Reading takes an optional sign, digits, and a fraction after the decimal separator; the other
// of '.' and ',' may group thousands, but only in groups of three ("1.234,56" with a decimal
// comma), so that "1,5" read with a decimal point is refused rather than taken as 15. A currency
// sign (€, $, £ or EUR) before or after an amount is allowed where the caller says so. Blanks
// around the number are ignored. With a decimal point an exponent may follow ("2e+05"), as
// exports that write the shortest form of a number do.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qdx::interchange {

std::optional<double> ReadDecimal(std::string_view text, char decimalSeparator,
                                  bool allowCurrencySign = false);

// The shortest text that reads back as the same double, with a decimal point and no exponent
// for the sizes amounts, litres and odometers have ("46.301", "67.09", "212477").
std::string WriteDecimal(double value);

// A value rounded to `decimals` places and written without trailing zeros ("1.449").
std::string WriteRounded(double value, int decimals);

}  // namespace qdx::interchange
