// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/period_search.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "device/motion_timing.h"

namespace stravon {
namespace {

std::uint32_t StartPeriod(std::uint32_t steps, double seconds) {
  const double start = seconds / static_cast<double>(steps) * kTimerHz;
  if (std::isnan(start) || start >= 4294967296.0) return kSlowestPeriod;
  if (start < kFastestRampPeriod) return kFastestRampPeriod;
  return static_cast<std::uint32_t>(start);
}

// The period search moves one tick at a time from its start value, in the
// direction the first duration asks for, and stops at the first period where
// the target is crossed, the phase is limited, or the range ends. It is found
// here without visiting every tick. Between two neighbouring ramp entries the
// ramp length is constant, so the kind of phase, whether a call is limited and
// the ramp terms are all fixed and only the cruise term changes; that term is
// a fixed count times period / 24 MHz, which does not fall as the period rises.
// Within such a run the stopping test is therefore monotone: it holds at the
// run's far end (in walking order) if anywhere, and a bisection finds its
// first tick. Runs are crossed one evaluation each.
class PeriodSearch {
 public:
  PeriodSearch(std::int32_t steps, std::uint32_t previous_period, bool stop_at_end, double seconds)
      : steps_(steps),
        previous_period_(previous_period),
        stop_at_end_(stop_at_end),
        seconds_(seconds) {}

  std::uint32_t Solve(bool& limited) {
    limited = false;
    const std::uint32_t start = StartPeriod(StepCount(steps_), seconds_);
    const Probe first = At(start);
    slower_ = first.diff > 0;
    if (Stops(first)) return Result(first, limited);
    // Not limited, so the period was left as it was.
    return slower_ ? Slower(start + 1, limited) : Faster(start - 1, limited);
  }

 private:
  struct Probe {
    double diff;           // target minus duration
    std::uint32_t period;  // as the duration left it
    bool inner;
  };

  Probe At(std::uint32_t period) const {
    bool inner = false;
    const double duration = PhaseDuration(steps_, period, inner, previous_period_, stop_at_end_);
    return {seconds_ - duration, period, inner};
  }

  bool Stops(const Probe& probe) const {
    if (slower_) return probe.period == kSlowestPeriod || probe.inner || probe.diff <= 0;
    return probe.diff >= 0 || probe.period == kFastestSolvedPeriod || probe.inner;
  }

  std::uint32_t Result(const Probe& probe, bool& limited) const {
    if (slower_) {
      if (probe.period == kSlowestPeriod || probe.inner) return probe.period;
      return probe.period - 1;
    }
    if (probe.diff >= 0) return probe.period + 1;  // may wrap to 0 from the slowest period
    limited = true;
    return probe.period;
  }

  // Walks up from `period`.
  std::uint32_t Slower(std::uint32_t period, bool& limited) const {
    const RampTableArray& table = RampTable();
    for (bool first_run = true;; first_run = false) {
      const std::uint32_t entries = RampLength(period) / 2;
      const std::uint32_t run_end = entries == 0 ? kSlowestPeriod : table[entries];
      if (const auto stop = StopInRun(period, run_end, first_run)) return Result(*stop, limited);
      period = run_end + 1;
    }
  }

  // Walks down from `period`.
  std::uint32_t Faster(std::uint32_t period, bool& limited) const {
    const RampTableArray& table = RampTable();
    for (bool first_run = true;; first_run = false) {
      const std::uint32_t entries = RampLength(period) / 2;
      const std::uint32_t run_end = std::max(table[entries + 1] + 1, kFastestSolvedPeriod);
      if (const auto stop = StopInRun(period, run_end, first_run)) return Result(*stop, limited);
      period = run_end - 1;
    }
  }

  // Where the walk stops between `from` and `to`, the rest of one run in
  // walking order, if it does. Searching out from `from` (0, 1, 3, 7, ...
  // ticks) finds a stop near the start quickly, which is where the walk's
  // first run usually stops; later runs are crossed with one probe at their
  // far end. Whether a call is limited is the same throughout the run, so the
  // first probe finds that.
  std::optional<Probe> StopInRun(std::uint32_t from, std::uint32_t to, bool search_near) const {
    const bool up = to >= from;
    const auto period_at = [&](std::uint64_t distance) {
      return static_cast<std::uint32_t>(up ? from + distance : from - distance);
    };
    const std::uint64_t span = up ? std::uint64_t{to} - from : std::uint64_t{from} - to;
    // The stop lies at a distance in [low, high] from `from`.
    std::uint64_t low = 0;
    std::uint64_t high = span;
    std::optional<Probe> at_high;
    if (!search_near) {
      const Probe end = At(to);
      if (!Stops(end)) return std::nullopt;
      if (end.inner) return At(from);
      at_high = end;
    }
    for (std::uint64_t distance = 0; distance < high; distance = 2 * distance + 1) {
      const Probe probe = At(period_at(distance));
      if (Stops(probe)) {
        high = distance;
        at_high = probe;
        break;
      }
      low = distance + 1;
    }
    if (!at_high) {
      const Probe end = At(to);
      if (!Stops(end)) return std::nullopt;
      at_high = end;
    }
    while (low < high) {
      const std::uint64_t mid = low + (high - low) / 2;
      const Probe probe = At(period_at(mid));
      if (Stops(probe)) {
        high = mid;
        at_high = probe;
      } else {
        low = mid + 1;
      }
    }
    return at_high;
  }

  std::int32_t steps_;
  std::uint32_t previous_period_;
  bool stop_at_end_;
  double seconds_;
  bool slower_ = false;
};

}  // namespace

std::uint32_t SolvePeriod(std::int32_t steps, bool& limited, std::uint32_t previous_period,
                          bool stop_at_end, double seconds) {
  return PeriodSearch(steps, previous_period, stop_at_end, seconds).Solve(limited);
}

}  // namespace stravon
