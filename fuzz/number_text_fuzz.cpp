// SPDX-License-Identifier: GPL-3.0-or-later
// Number text against the C library it has to read and write like, in the
// "C" locale (the process never changes it here): the leading double and
// integer of any text, and "%g" / "%.*f" of any double.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "protocol/number_text.h"

namespace {

using stravon::fuzz::Check;

bool SameDouble(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return a == b && std::signbit(a) == std::signbit(b);
}

std::string Printf(const char* format, int decimals, double value) {
  char buffer[512];
  const int length = std::snprintf(buffer, sizeof buffer, format, decimals, value);
  if (length < 0) return {};
  if (static_cast<std::size_t>(length) < sizeof buffer) return std::string(buffer, length);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, decimals, value);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

void CheckFormats(double value, int decimals) {
  Check(stravon::FormatGeneral(value) == Printf("%.*g", 6, value), "FormatGeneral is %g");
  Check(stravon::FormatFixed(value, decimals) == Printf("%.*f", decimals, value),
        "FormatFixed is %.*f");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // The C functions stop at a zero byte; so does every number.
  const char* c_text = text.c_str();

  const double parsed = stravon::ParseLeadingDouble(text);
  Check(SameDouble(parsed, std::strtod(c_text, nullptr)), "ParseLeadingDouble reads as strtod");

  const long c_integer = std::strtol(c_text, nullptr, 10);
  const long clamped = std::clamp<long>(c_integer, std::numeric_limits<std::int32_t>::min(),
                                        std::numeric_limits<std::int32_t>::max());
  Check(stravon::ParseLeadingInteger(text) == clamped, "ParseLeadingInteger reads as strtol");

  // The first bytes as a double: every bit pattern, NaNs and subnormals too.
  if (size >= sizeof(double) + 1) {
    double value = 0.0;
    std::memcpy(&value, data, sizeof value);
    CheckFormats(value, data[sizeof value] % 41);
  }
  CheckFormats(parsed, static_cast<int>(size % 8));
  return 0;
}
