// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/number_text.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

namespace stravon {
namespace {

// White space as isspace() sees it in the "C" locale.
bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decides whether a number that from_chars found out of range is too large
// (true) or too small (false): the position of its first significant digit
// plus its exponent, both in powers of the radix (2 for hexadecimal, whose
// exponent counts powers of two and whose digits count four bits each).
bool IsOverflow(std::string_view number, bool hexadecimal) {
  const int radix = hexadecimal ? 16 : 10;
  const int digit_weight = hexadecimal ? 4 : 1;
  const char exponent_mark = hexadecimal ? 'p' : 'e';
  std::int64_t magnitude = 0;  // in units of digit_weight per digit
  bool seen_nonzero = false;
  bool after_point = false;
  std::size_t k = 0;
  for (; k < number.size(); ++k) {
    const char c = number[k];
    if (c == '.') {
      after_point = true;
      continue;
    }
    const int digit = DigitValue(c);
    if (digit < 0 || digit >= radix) break;
    if (!seen_nonzero && digit == 0) {
      if (after_point) magnitude -= digit_weight;
      continue;
    }
    seen_nonzero = true;
    if (!after_point) magnitude += digit_weight;
  }
  std::int64_t exponent = 0;
  if (k < number.size() && (number[k] == exponent_mark || number[k] == exponent_mark - 32)) {
    ++k;
    bool negative = false;
    if (k < number.size() && (number[k] == '+' || number[k] == '-')) negative = number[k++] == '-';
    for (; k < number.size() && number[k] >= '0' && number[k] <= '9'; ++k) {
      if (exponent < 1'000'000'000) exponent = exponent * 10 + (number[k] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return magnitude + exponent > 0;
}

// The length of the hexadecimal number (after its "0x") at the start of
// `hex` as strtod takes it: digits with at most one point, then a binary
// exponent only where a digit follows 'p' and its sign. from_chars of
// libstdc++ 12 also reads "p+-3" as an exponent.
std::size_t HexNumberLength(std::string_view hex) {
  std::size_t k = 0;
  bool point = false;
  for (; k < hex.size(); ++k) {
    if (hex[k] == '.' && !point) {
      point = true;
    } else if (DigitValue(hex[k]) < 0) {
      break;
    }
  }
  if (k < hex.size() && (hex[k] == 'p' || hex[k] == 'P')) {
    std::size_t e = k + 1;
    if (e < hex.size() && (hex[e] == '+' || hex[e] == '-')) ++e;
    if (e < hex.size() && hex[e] >= '0' && hex[e] <= '9') {
      while (e < hex.size() && hex[e] >= '0' && hex[e] <= '9') ++e;
      k = e;
    }
  }
  return k;
}

// Reads the number at the start of `number`; false when there is none.
bool FromChars(std::string_view number, std::chars_format format, double& value) {
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value, format);
  if (result.ec == std::errc::result_out_of_range) {
    const std::string_view matched(number.data(),
                                   static_cast<std::size_t>(result.ptr - number.data()));
    value = IsOverflow(matched, format == std::chars_format::hex) ? HUGE_VAL : 0.0;
    return true;
  }
  return result.ec == std::errc();
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsCSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsCSpace(text.back())) text.remove_suffix(1);
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

double ParseLeadingDouble(std::string_view text) {
  std::size_t k = 0;
  while (k < text.size() && IsCSpace(text[k])) ++k;
  bool negative = false;
  if (k < text.size() && (text[k] == '+' || text[k] == '-')) negative = text[k++] == '-';
  const std::string_view number = text.substr(k);
  // from_chars takes a '-' of its own; a second sign is no number for atof.
  // Without a number the result is a plain 0.0, whatever the sign.
  if (number.empty() || number[0] == '+' || number[0] == '-') return 0.0;

  double value = 0.0;
  if (number.size() >= 2 && number[0] == '0' && (number[1] == 'x' || number[1] == 'X')) {
    const std::string_view hex = number.substr(2);
    // "0x" without a hexadecimal mantissa reads as the "0" alone. from_chars
    // would also take a sign, "inf" or "nan" there; atof does not.
    const bool mantissa =
        !hex.empty() &&
        (DigitValue(hex[0]) >= 0 || (hex[0] == '.' && hex.size() > 1 && DigitValue(hex[1]) >= 0));
    if (!mantissa ||
        !FromChars(hex.substr(0, HexNumberLength(hex)), std::chars_format::hex, value)) {
      value = 0.0;
    }
  } else if (!FromChars(number, std::chars_format::general, value)) {
    return 0.0;
  }
  return negative ? -value : value;
}

std::int32_t ParseLeadingInteger(std::string_view text) {
  std::size_t k = 0;
  while (k < text.size() && IsCSpace(text[k])) ++k;
  bool negative = false;
  if (k < text.size() && (text[k] == '+' || text[k] == '-')) negative = text[k++] == '-';
  // Accumulate with saturation; the clamp below turns it into the 32-bit range
  // that the stored files were written with.
  constexpr std::int64_t kLimit = std::int64_t{1} << 40;
  std::int64_t value = 0;
  for (; k < text.size() && text[k] >= '0' && text[k] <= '9'; ++k) {
    if (value < kLimit) value = value * 10 + (text[k] - '0');
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min())
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
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

std::string FormatGeneral(double value) {
  char buffer[64];  // "%g" needs at most 13 characters ("-1.79769e+308")
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
  return std::string(buffer, result.ptr);
}

std::string FormatFixed(double value, int decimals) {
  if (decimals < 0) decimals = 0;
  // Large magnitudes have over 300 digits before the point: grow until it fits.
  std::string text(64 + static_cast<std::size_t>(decimals), '\0');
  for (;;) {
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                      std::chars_format::fixed, decimals);
    if (result.ec == std::errc()) {
      text.resize(static_cast<std::size_t>(result.ptr - text.data()));
      return text;
    }
    text.resize(text.size() * 2);
  }
}

}  // namespace stravon
