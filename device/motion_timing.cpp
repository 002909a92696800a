#include "device/motion_timing.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

#include "device/saturating_cast.h"

namespace stravon {
namespace {

// Entries 1 ... 410 hold the ramp; 0 and 411 are 0.
constexpr std::uint32_t kLastRampEntry = 410;
constexpr std::uint32_t kFastestRampPeriod = 750;

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

std::uint32_t StartPeriod(std::uint32_t steps, double seconds) {
  const double start = seconds / static_cast<double>(steps) * kTimerHz;
  if (std::isnan(start) || start >= 4294967296.0) return kSlowestPeriod;
  if (start < kFastestRampPeriod) return kFastestRampPeriod;
  return static_cast<std::uint32_t>(start);
}

std::uint32_t StepCount(std::int32_t steps) {
  // Unsigned negation: |INT32_MIN| fits.
  return steps < 0 ? 0u - static_cast<std::uint32_t>(steps) : static_cast<std::uint32_t>(steps);
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

// Position reached at the end of segment `index` of a half sine over `total`.
double SegmentEnd(MotionPhase phase, std::size_t index, double total) {
  constexpr double kPi = std::numbers::pi;
  const double i = static_cast<double>(index);
  const double theta = phase == MotionPhase::Stretch ? -3.0 * kPi / 8.0 + i * kPi / 8.0
                                                     : 3.0 * kPi / 8.0 - i * kPi / 8.0;
  return (std::sin(theta) + 1.0) * total * 0.5;
}

std::int32_t WholeSteps(double position) { return TruncToInt32(position + 0.5); }

// Steps from one position of the half sine to the next.
std::int32_t StepsBetween(double from, double to) {
  return TruncToInt32(static_cast<double>(std::int64_t{WholeSteps(to)} - WholeSteps(from)));
}

std::int32_t AddSaturated(std::int32_t steps, std::int64_t delta) {
  return TruncToInt32(static_cast<double>(std::int64_t{steps} + delta));
}

// Solves the eight segments for `seconds` and reports whether one of them was
// limited (stopping there).
bool SinusoidPassLimited(MotionPhase phase, double seconds, double total,
                         const TimingFunctions& timing) {
  const double segment_seconds = seconds * 0.125;
  std::uint32_t previous_period = 0;
  double previous_position = phase == MotionPhase::Stretch ? 0.0 : total;
  for (std::size_t i = 0; i < kSegmentCount; ++i) {
    const double position = SegmentEnd(phase, i, total);
    const std::int32_t steps = StepsBetween(previous_position, position);
    bool limited = false;
    const std::uint32_t period =
        timing.Solve(steps, limited, previous_period, i == kSegmentCount - 1, segment_seconds);
    if (limited) return true;
    previous_period = period;
    previous_position = position;
  }
  return false;
}

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

std::uint32_t SolvePeriod(std::int32_t steps, bool& limited, std::uint32_t previous_period,
                          bool stop_at_end, double seconds) {
  return PeriodSearch(steps, previous_period, stop_at_end, seconds).Solve(limited);
}

double ToSeconds(TimeUnit unit, double value) { return value * SecondsPerTimeUnit(unit); }

double CompileStretchPhase(DeviceSet& set, float pitch, double magnitude, double seconds,
                           const TimingFunctions& timing) {
  const std::int32_t steps = TruncToInt32(magnitude / static_cast<double>(pitch));
  if ((set.Flags & kSetSinusoid) != 0) {
    double actual = 0.0;
    CompileSinusoidPhase(MotionPhase::Stretch, set, seconds, steps, actual, timing);
    return actual;
  }
  bool limited = false;
  set.StretchSteps = steps;
  set.StretchPeriod = timing.Solve(steps, limited, 0, true, seconds);
  // The set keeps the solved period even when the phase reaches another one.
  std::uint32_t reached = set.StretchPeriod;
  return timing.Duration(steps, reached, limited, 0, true);
}

double CompileRecoveryPhase(DeviceSet& set, float pitch, double magnitude, double seconds,
                            const TimingFunctions& timing) {
  const double steps = magnitude / static_cast<double>(pitch);
  if ((set.Flags & kSetSinusoid) != 0) {
    double actual = 0.0;
    CompileSinusoidPhase(MotionPhase::Recovery, set, seconds, TruncToInt32(steps), actual, timing);
    return actual;
  }
  bool limited = false;
  set.RecoverySteps = TruncToInt32(-steps);
  set.RecoveryPeriod = timing.Solve(set.RecoverySteps, limited, 0, true, seconds);
  std::uint32_t reached = set.RecoveryPeriod;
  return timing.Duration(set.RecoverySteps, reached, limited, 0, true);
}

void CompileSinusoidPhase(MotionPhase phase, DeviceSet& set, double seconds, double total_steps,
                          double& actual_seconds, const TimingFunctions& timing) {
  const bool stretch = phase == MotionPhase::Stretch;
  if (SinusoidPassLimited(phase, seconds, total_steps, timing)) {
    // The ramp cannot follow the requested sine: search the fastest duration
    // it can, starting from 1.5 s.
    double lo = 0.0;
    double hi = 1.5;
    while (std::fabs(hi - lo) > 0.01) {
      const double mid = (hi - lo) * 0.5 + lo;
      if (SinusoidPassLimited(phase, mid, total_steps, timing)) {
        lo = mid;
      } else {
        hi = mid;
      }
    }
    seconds = hi;
  }

  SegmentArray& segments = stretch ? set.StretchSegments : set.RecoverySegments;
  const double segment_seconds = seconds * 0.125;
  actual_seconds = 0.0;
  std::uint32_t previous_period = 0;
  double previous_position = stretch ? 0.0 : total_steps;
  for (std::size_t i = 0; i < kSegmentCount; ++i) {
    const bool last = i == kSegmentCount - 1;
    const double position = SegmentEnd(phase, i, total_steps);
    const std::int32_t steps = StepsBetween(previous_position, position);
    bool limited = false;
    const std::uint32_t period =
        timing.Solve(steps, limited, previous_period, last, segment_seconds);
    const std::uint32_t ramp = RampLength(period);
    const std::uint32_t previous_ramp = RampLength(previous_period);

    MotionSegment& segment = segments[i];
    segment.Period = period;
    // The unit adds the final slow-down itself.
    segment.Steps = !last ? steps : AddSaturated(steps, stretch ? -std::int64_t{ramp} : ramp);
    segment.Mask = 0xFF;
    segment.Control = 0;
    if (i == 0) {
      segment.Control = ramp != 0 ? kSegmentAccelerates : kSegmentNoRamp;
    } else {
      if (period > previous_period) {
        segment.Mask &= static_cast<std::uint8_t>(~kSegmentAccelerates);
      } else {
        segment.Control |= kSegmentAccelerates;
      }
      if (ramp != previous_ramp) {
        segment.Mask &= static_cast<std::uint8_t>(~kSegmentNoRamp);
      } else {
        segment.Control |= kSegmentNoRamp;
      }
    }
    segment.Control |= stretch ? kSegmentStretch : kSegmentRecovery;
    if (last) segment.Control |= kSegmentLast;

    // The next segment starts from the period this one actually reaches.
    std::uint32_t reached = period;
    actual_seconds += timing.Duration(steps, reached, limited, previous_period, last);
    previous_period = reached;
    previous_position = position;
  }
}

namespace {

double SinusoidSeconds(const SegmentArray& segments, std::int64_t final_sign) {
  double seconds = 0.0;
  std::uint32_t previous_period = 0;
  for (std::size_t i = 0; i < kSegmentCount; ++i) {
    const bool last = i == kSegmentCount - 1;
    const MotionSegment& segment = segments[i];
    // The stored last segment leaves out its slow-down; put it back.
    const std::int32_t steps =
        !last ? segment.Steps
              : AddSaturated(segment.Steps, final_sign * RampLength(segment.Period));
    std::uint32_t reached = segment.Period;
    bool limited = false;
    seconds += PhaseDuration(steps, reached, limited, previous_period, last);
    previous_period = reached;
  }
  return seconds;
}

}  // namespace

double StretchPhaseSeconds(const DeviceSet& set) {
  if ((set.Flags & kSetSinusoid) != 0) return SinusoidSeconds(set.StretchSegments, 1);
  std::uint32_t period = set.StretchPeriod;
  bool limited = false;
  return PhaseDuration(set.StretchSteps, period, limited, 0, true);
}

double RecoveryPhaseSeconds(const DeviceSet& set) {
  if ((set.Flags & kSetSinusoid) != 0) return SinusoidSeconds(set.RecoverySegments, -1);
  std::uint32_t period = set.RecoveryPeriod;
  bool limited = false;
  return PhaseDuration(set.RecoverySteps, period, limited, 0, true);
}

}  // namespace stravon
