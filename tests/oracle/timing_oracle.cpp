// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/oracle/timing_oracle.h"

#include <cmath>

namespace stravon::oracle {
namespace {

std::uint32_t T(std::uint32_t index) {
  // Indices past the table count as 0.
  return index < kRampTableSize ? RampTable()[index] : 0;
}

// k x w: k steps at period w, in seconds.
double Times(std::uint32_t k, std::uint32_t w) {
  return static_cast<double>(k) * (static_cast<double>(w) / 24000000.0);
}

std::uint32_t AbsDiff(std::uint32_t x, std::uint32_t y) { return x > y ? x - y : y - x; }

std::uint32_t Min(std::uint32_t x, std::uint32_t y) { return x < y ? x : y; }

}  // namespace

std::uint32_t RampLength(std::uint32_t period) {
  if (period > 30357) return 0;
  std::uint32_t count = 0;
  for (std::uint32_t j = 1; j <= 411; ++j) {
    if (T(j) < period) break;
    ++count;
  }
  return 2 * count;
}

double RampSum(std::uint32_t k, std::uint32_t m) {
  double sum = 0.0;
  for (std::uint32_t j = 1; j <= m; ++j) sum += static_cast<double>(T(k + j)) / 24000000.0;
  return sum;
}

double PhaseDuration(std::int32_t steps, std::uint32_t& period, bool& limited,
                     std::uint32_t previous_period, bool stop_at_end) {
  const std::uint32_t n =
      steps < 0 ? 0u - static_cast<std::uint32_t>(steps) : static_cast<std::uint32_t>(steps);
  std::uint32_t& w = period;
  const std::uint32_t a = previous_period;
  limited = false;

  if (a == 0 && stop_at_end) {
    if (w > 30357) return Times(n, w);
    const std::uint32_t h = n / 2;
    std::uint32_t r = RampLength(w);
    if (r > h) {
      r = h;
      w = T(h / 2);
      limited = true;
    }
    return 4 * RampSum(0, r / 2) + Times(n - 2 * r, w);
  }
  if (a == 0 && !stop_at_end) {
    if (w > 30357) return Times(n, w);
    std::uint32_t r = RampLength(w);
    if (r > n) {
      r = n;
      w = T(n / 2);
      limited = true;
    }
    return 2 * RampSum(0, r / 2) + Times(n - r, w);
  }
  if (!stop_at_end) {
    const std::uint32_t kw = RampLength(w);
    const std::uint32_t ka = RampLength(a);
    std::uint32_t d = AbsDiff(kw, ka);
    const std::uint32_t lo = Min(kw, ka) / 2;
    if (d == 0) return Times(n, w);
    if (d > n) {
      if (w > a) {
        w = T((ka - n) / 2);
      } else {
        w = T(n / 2 + lo);
      }
      limited = true;
      d = n;
    }
    return 2 * RampSum(lo, d / 2) + Times(n - d, w);
  }
  std::uint32_t kw = RampLength(w);
  const std::uint32_t ka = RampLength(a);
  std::uint32_t lo = Min(kw, ka) / 2;
  std::uint32_t e = ka;
  if (ka == 0) return Times(n, w);
  if (w > a && ka > n) {
    w = w + 1;
    kw = RampLength(w);
    e = AbsDiff(kw, ka) + kw;
    lo = Min(kw, ka) / 2;
    limited = true;
  }
  // A slow-down longer than the segment leaves no step to cruise.
  std::uint32_t cruise = n - e;
  if (e > n) {
    cruise = 0;
    limited = true;
  }
  return 2 * RampSum(0, kw / 2) + 2 * RampSum(lo, e / 2) + Times(cruise, w);
}

std::uint32_t SolvePeriod(std::int32_t steps, bool& limited, std::uint32_t previous_period,
                          bool stop_at_end, double seconds) {
  const std::uint32_t n =
      steps < 0 ? 0u - static_cast<std::uint32_t>(steps) : static_cast<std::uint32_t>(steps);
  const double target = seconds;
  // Target minus the duration at x, from a copy of x.
  const auto diff_at = [&](std::uint32_t x) {
    bool inner = false;
    return target - PhaseDuration(steps, x, inner, previous_period, stop_at_end);
  };

  limited = false;
  const double p0 = target / static_cast<double>(n) * 24000000.0;
  std::uint32_t p = 0;
  if (p0 >= 4294967296.0 || std::isnan(p0)) {
    p = 4294967295u;
  } else if (p0 < 750) {
    p = 750;
  } else {
    p = static_cast<std::uint32_t>(p0);
  }

  bool first = true;
  bool slower = false;
  for (;;) {
    bool inner = false;
    const double d = PhaseDuration(steps, p, inner, previous_period, stop_at_end);
    const double diff = target - d;
    if (first) {
      slower = diff > 0;
      first = false;
    }
    if (!slower) {
      if (diff >= 0) return p + 1;
      if (p == 749 || inner) {
        limited = true;
        return p;
      }
      if (p > 30358) {
        // Jump to the first tick below p where diff >= 0, or to 30358.
        std::uint32_t lo = 30358;
        std::uint32_t hi = p - 1;
        if (diff_at(hi) >= 0) {
          p = hi;
        } else if (diff_at(lo) < 0) {
          p = lo;
        } else {
          while (hi - lo > 1) {
            const std::uint32_t mid = lo + (hi - lo) / 2;
            if (diff_at(mid) >= 0) {
              lo = mid;
            } else {
              hi = mid;
            }
          }
          p = lo;
        }
      } else {
        p = p - 1;
      }
    } else {
      if (p == 4294967295u || inner) return p;
      if (diff <= 0) return p - 1;
      if (p >= 30358) {
        // Jump to the first tick above p where diff <= 0, or to the end.
        std::uint32_t lo = p + 1;
        std::uint32_t hi = 4294967295u;
        if (diff_at(lo) <= 0) {
          p = lo;
        } else {
          while (hi - lo > 1) {
            const std::uint32_t mid = lo + (hi - lo) / 2;
            if (diff_at(mid) <= 0) {
              hi = mid;
            } else {
              lo = mid;
            }
          }
          p = hi;
        }
      } else {
        p = p + 1;
      }
    }
  }
}

}  // namespace stravon::oracle
