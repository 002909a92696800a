// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/field_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace stravon {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Strips one leading sign; true when it was '-'.
bool TakeSign(std::string_view& text) {
  if (text.empty() || (text.front() != '+' && text.front() != '-')) return false;
  const bool negative = text.front() == '-';
  text.remove_prefix(1);
  return negative;
}

}  // namespace

float NarrowToFloat(double value) {
  constexpr double kLargest = std::numeric_limits<float>::max();
  // Values a little above the largest float still round to it.
  constexpr double kOverflow = kLargest + kLargest * 0x1p-25;
  if (value >= kOverflow) return std::numeric_limits<float>::infinity();
  if (value <= -kOverflow) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

bool ParseNumberField(std::string_view text, double& value) {
  text = Trim(text);
  const bool negative = TakeSign(text);
  // from_chars takes a '-' of its own and reads "inf" and "nan": neither is a
  // number a person types into a length field.
  if (text.empty() || !(text.front() == '.' || (text.front() >= '0' && text.front() <= '9'))) {
    return false;
  }
  double parsed = 0.0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, parsed, std::chars_format::general);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(parsed)) return false;
  value = negative ? -parsed : parsed;
  return true;
}

bool ParseFloatField(std::string_view text, float& value) {
  double wide = 0.0;
  if (!ParseNumberField(text, wide)) return false;
  const float narrow = NarrowToFloat(wide);
  if (!std::isfinite(narrow)) return false;
  value = narrow;
  return true;
}

bool ParseIntegerField(std::string_view text, std::int64_t minimum, std::int64_t maximum,
                       std::int64_t& value) {
  text = Trim(text);
  const bool negative = TakeSign(text);
  if (text.empty() || text.front() < '0' || text.front() > '9') return false;
  std::uint64_t magnitude = 0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, magnitude);
  if (result.ec != std::errc() || result.ptr != end) return false;
  // Every bound fits in 63 bits, so a larger magnitude is out of range anyway.
  if (magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return false;
  }
  const std::int64_t parsed =
      negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  if (parsed < minimum || parsed > maximum) return false;
  value = parsed;
  return true;
}

std::string FormatSignificant(double value, int digits) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
  return std::string(buffer, result.ptr);
}

}  // namespace stravon
