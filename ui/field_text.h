// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/number_text.h"

namespace stravon {

// Reading and showing the number fields of the editors and dialogs. A field
// holds a number only when its whole text, apart from surrounding blanks, is
// one: "12abc", "" and "0x10" are not. Infinities, NaN and values out of range
// are refused too, so nothing non-finite reaches a check or the unit. The
// decimal point is always '.', whatever the locale.

// A double narrowed to single precision; beyond the float range it becomes an
// infinity of its sign instead of being undefined.
float NarrowToFloat(double value);

// ParseNumberField narrowed to single precision; refused when the narrowing
// overflows.
bool ParseFloatField(std::string_view text, float& value);

// "%.*g": general notation with `digits` significant digits.
std::string FormatSignificant(double value, int digits);

// The framework prompts of a field that does not hold what it should.
inline constexpr std::string_view kEnterNumber = "Enter a number.";
inline constexpr std::string_view kEnterInteger = "Enter an integer.";
inline constexpr std::string_view kEnterPositiveInteger = "Enter a positive integer.";

}  // namespace stravon
