// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace stravon {

// Conversions of computed values to the unit's integer fields. A plain cast is
// undefined for values out of range, and a protocol file may hold any number,
// so these truncate toward zero and then clamp; NaN becomes 0.

inline std::int32_t TruncToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

inline std::int64_t TruncToInt64(double value) {
  if (std::isnan(value)) return 0;
  // 2^63 is exact as a double; anything from there on does not fit.
  if (value <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
  if (value >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(value);
}

inline std::uint32_t TruncToUint32(double value) {
  if (std::isnan(value) || value <= 0.0) return 0;
  if (value >= 4294967295.0) return std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(value);
}

}  // namespace stravon
