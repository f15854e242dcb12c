// The three number formats of the statistics labels, in the user's separators and currency.
//
//   general      the shortest text with up to 15 significant digits (FloatToText): "216",
//                "13.3333333333333", "1E-5"; 0 is "0"
//   currency3    rounded to at most 8 significant digits and to 3 decimals, half away from zero
//                on the decimal digits, then written with exactly 3 decimals, thousands
//                separators and the currency string, position and negative form: "$0.216"
//   fixed3       rounded the same way, exactly 3 decimals, no thousands separators: "7.500"
//
// In the two 3-decimal formats a value with more than 8 digits before the decimal point falls
// back to the general form with 8 significant digits: "1.2345679E8", without currency string.
#pragma once

#include <QString>

#include "engine/foundation/platform/locale.h"

namespace qdx {

QString FormatGeneral(double value,
                      const platform::FormatSettings& formats = platform::UserFormatSettings());
QString FormatCurrency3(double value,
                        const platform::FormatSettings& formats = platform::UserFormatSettings());
QString FormatFixed3(double value,
                     const platform::FormatSettings& formats = platform::UserFormatSettings());

}  // namespace qdx
