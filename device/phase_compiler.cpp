// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/phase_compiler.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "device/saturating_cast.h"

namespace stravon {
namespace {

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

double LongestPhaseSeconds(MotionPhase phase, bool sinusoid, float pitch, double magnitude) {
  // One tick short of the slowest period: a phase asked for exactly its steps
  // at the slowest period sends the period search past it, and the period
  // wraps to 0, the fastest there is.
  constexpr double kLongestStep = static_cast<double>(kSlowestPeriod - 1) / kTimerHz;
  constexpr double kNoLimit = std::numeric_limits<double>::infinity();
  // The step counts the compilers use: stretch truncates m / p, recovery -m / p.
  const double quotient = magnitude / static_cast<double>(pitch);
  const std::int32_t steps =
      TruncToInt32(phase == MotionPhase::Stretch || sinusoid ? quotient : -quotient);
  if (!sinusoid) return steps == 0 ? kNoLimit : StepCount(steps) * kLongestStep;

  std::uint32_t fewest = 0;
  double previous_position = phase == MotionPhase::Stretch ? 0.0 : steps;
  for (std::size_t i = 0; i < kSegmentCount; ++i) {
    const double position = SegmentEnd(phase, i, steps);
    const std::uint32_t count = StepCount(StepsBetween(previous_position, position));
    if (count != 0) fewest = fewest == 0 ? count : std::min(fewest, count);
    previous_position = position;
  }
  return fewest == 0 ? kNoLimit : fewest * kLongestStep * static_cast<double>(kSegmentCount);
}

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
