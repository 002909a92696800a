// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace stravon {

// Number <-> text conversions that never depend on the process locale: the
// decimal point is always '.', whatever LC_NUMERIC says.

// The text's leading number, read like the C library's atof in the "C" locale:
// leading white space, an optional sign, then a decimal or hexadecimal
// floating-point number, "inf"/"infinity" or "nan"; 0.0 when the text does not
// begin with a number. Out-of-range values give +-HUGE_VAL or +-0.0.
double ParseLeadingDouble(std::string_view text);

// The text's leading decimal integer, read like atol: leading white space, an
// optional sign, digits; 0 when there are none. Clamped to the 32-bit range.
std::int32_t ParseLeadingInteger(std::string_view text);

// A whole text that is one decimal number, apart from surrounding blanks, as
// a person types it into a field: "12abc", "", "0x10", infinities, NaN and
// values out of range are not.
bool ParseNumberField(std::string_view text, double& value);

// A decimal integer with an optional sign, within [minimum, maximum].
bool ParseIntegerField(std::string_view text, std::int64_t minimum, std::int64_t maximum,
                       std::int64_t& value);

// "%g": general notation with six significant digits (10 -> "10",
// 1e-05 -> "1e-05", 1.0/3 -> "0.333333").
std::string FormatGeneral(double value);

// "%.*f": fixed notation with `decimals` digits after the point.
std::string FormatFixed(double value, int decimals);

}  // namespace stravon
