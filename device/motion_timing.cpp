// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/motion_timing.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace stravon {
namespace {

// Entries 1 ... 410 hold the ramp; 0 and 411 are 0.
constexpr std::uint32_t kLastRampEntry = 410;

RampTableArray BuildRampTable() {
  RampTableArray table{};
  const double factor = kTimerHz * std::sqrt(2.0 / 1250000.0);
  for (std::uint32_t n = 1; n <= kLastRampEntry; ++n) {
    const double step = std::sqrt(static_cast<double>(n)) - std::sqrt(static_cast<double>(n - 1));
    table[n] = static_cast<std::uint32_t>(std::floor(factor * step));
  }
  return table;
}

// S(k, m) for every k and m that reach a non-zero entry, each row accumulated
// left to right so that a lookup is bit for bit the running sum. Entry 411 and
// anything past it add 0, which leaves a non-negative sum unchanged, so the
// rows stop at entry 410.
class RampSumTable {
 public:
  RampSumTable() {
    const RampTableArray& table = RampTable();
    for (std::uint32_t k = 0; k < kLastRampEntry; ++k) {
      row_start_[k] = sums_.size();
      double sum = 0.0;
      sums_.push_back(sum);
      for (std::uint32_t j = k + 1; j <= kLastRampEntry; ++j) {
        sum += static_cast<double>(table[j]) / kTimerHz;
        sums_.push_back(sum);
      }
    }
  }

  double Sum(std::uint32_t k, std::uint32_t m) const {
    if (k >= kLastRampEntry || m == 0) return 0.0;
    return sums_[row_start_[k] + std::min(m, kLastRampEntry - k)];
  }

 private:
  std::array<std::size_t, kLastRampEntry> row_start_{};
  std::vector<double> sums_;
};

// RampLength of every period that has a ramp, so that the period search does
// not pay a table search per probe.
class RampLengthTable {
 public:
  RampLengthTable() {
    const RampTableArray& table = RampTable();
    std::uint16_t entries = kRampTableSize - 1;  // period 0: every entry is at or above it
    for (std::uint32_t period = 0; period <= kSlowestRampPeriod; ++period) {
      while (entries > 0 && table[entries] < period) --entries;
      lengths_[period] = static_cast<std::uint16_t>(2 * entries);
    }
  }

  std::uint32_t Length(std::uint32_t period) const {
    return period > kSlowestRampPeriod ? 0 : lengths_[period];
  }

 private:
  std::array<std::uint16_t, kSlowestRampPeriod + 1> lengths_{};
};

const RampSumTable& RampSums() {
  static const RampSumTable sums;
  return sums;
}

// `count` steps at `period`, in seconds.
double Cruise(std::uint32_t count, std::uint32_t period) {
  return static_cast<double>(count) * (static_cast<double>(period) / kTimerHz);
}

std::uint32_t Distance(std::uint32_t a, std::uint32_t b) { return a > b ? a - b : b - a; }

}  // namespace

const RampTableArray& RampTable() {
  static const RampTableArray table = BuildRampTable();
  return table;
}

std::uint32_t RampLength(std::uint32_t period) {
  static const RampLengthTable lengths;
  return lengths.Length(period);
}

double RampSum(std::uint32_t k, std::uint32_t m) { return RampSums().Sum(k, m); }

double PhaseDuration(std::int32_t steps, std::uint32_t& period, bool& limited,
                     std::uint32_t previous_period, bool stop_at_end) {
  const RampTableArray& table = RampTable();
  const std::uint32_t n = StepCount(steps);
  const std::uint32_t a = previous_period;
  std::uint32_t& w = period;
  limited = false;

  if (a == 0) {
    if (w > kSlowestRampPeriod) return Cruise(n, w);
    std::uint32_t ramp = RampLength(w);
    if (stop_at_end) {
      // Up and down: each ramp may take at most half the steps.
      const std::uint32_t half = n / 2;
      if (ramp > half) {
        ramp = half;
        w = table[half / 2];
        limited = true;
      }
      return 4.0 * RampSum(0, ramp / 2) + Cruise(n - 2 * ramp, w);
    }
    if (ramp > n) {
      ramp = n;
      w = table[n / 2];
      limited = true;
    }
    return 2.0 * RampSum(0, ramp / 2) + Cruise(n - ramp, w);
  }

  std::uint32_t kw = RampLength(w);
  const std::uint32_t ka = RampLength(a);
  std::uint32_t lo = std::min(kw, ka) / 2;
  if (!stop_at_end) {
    // From the previous period to this one.
    std::uint32_t change = Distance(kw, ka);
    if (change == 0) return Cruise(n, w);
    if (change > n) {
      w = w > a ? table[(ka - n) / 2] : table[n / 2 + lo];
      limited = true;
      change = n;
    }
    return 2.0 * RampSum(lo, change / 2) + Cruise(n - change, w);
  }

  // Final segment, ending at rest.
  if (ka == 0) return Cruise(n, w);
  std::uint32_t slow_down = ka;
  if (w > a && ka > n) {
    w = w + 1;
    kw = RampLength(w);
    slow_down = Distance(kw, ka) + kw;
    lo = std::min(kw, ka) / 2;
    limited = true;
  }
  const double ramps = 2.0 * RampSum(0, kw / 2) + 2.0 * RampSum(lo, slow_down / 2);
  if (slow_down > n) {
    // The slow-down alone is longer than the segment: it cannot run, and no
    // step is left to cruise.
    limited = true;
    return ramps + Cruise(0, w);
  }
  return ramps + Cruise(n - slow_down, w);
}

std::uint32_t StepCount(std::int32_t steps) {
  // Unsigned negation: |INT32_MIN| fits.
  return steps < 0 ? 0u - static_cast<std::uint32_t>(steps) : static_cast<std::uint32_t>(steps);
}

double ToSeconds(TimeUnit unit, double value) { return value * SecondsPerTimeUnit(unit); }

}  // namespace stravon
