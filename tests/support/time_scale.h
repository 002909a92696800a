// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cmath>
#include <cstdlib>

namespace stravon::test_support {

// How much slower than a plain build this one runs: STRAVON_TIME_SCALE, set
// by the sanitizer stages of the test command (1 when unset or not a number
// of at least 1). Only upper bounds on elapsed time scale; time-outs under
// test and lower bounds do not.
inline double TimeScale() {
  static const double scale = [] {
    const char* text = std::getenv("STRAVON_TIME_SCALE");
    if (text == nullptr) return 1.0;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= 1.0 ? value : 1.0;
  }();
  return scale;
}

// An upper bound on elapsed time, for the build the test runs in.
inline std::chrono::milliseconds Scaled(std::chrono::milliseconds bound) {
  return std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(
      std::ceil(static_cast<double>(bound.count()) * TimeScale())));
}

}  // namespace stravon::test_support
