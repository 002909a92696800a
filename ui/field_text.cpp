// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/field_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace stravon {
float NarrowToFloat(double value) {
  constexpr double kLargest = std::numeric_limits<float>::max();
  // Values a little above the largest float still round to it.
  constexpr double kOverflow = kLargest + kLargest * 0x1p-25;
  if (value >= kOverflow) return std::numeric_limits<float>::infinity();
  if (value <= -kOverflow) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

bool ParseFloatField(std::string_view text, float& value) {
  double wide = 0.0;
  if (!ParseNumberField(text, wide)) return false;
  const float narrow = NarrowToFloat(wide);
  if (!std::isfinite(narrow)) return false;
  value = narrow;
  return true;
}

std::string FormatSignificant(double value, int digits) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
  return std::string(buffer, result.ptr);
}

}  // namespace stravon
