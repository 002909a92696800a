// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "device/device_set.h"
#include "device/motion_timing.h"
#include "device/period_search.h"

namespace stravon {

enum class MotionPhase { Stretch, Recovery };

// The two timing operations the phase compilers use. Tests and benchmarks pass
// a reference implementation to compare what the compilers produce.
struct TimingFunctions {
  double (*Duration)(std::int32_t, std::uint32_t&, bool&, std::uint32_t, bool) = PhaseDuration;
  std::uint32_t (*Solve)(std::int32_t, bool&, std::uint32_t, bool, double) = SolvePeriod;
};

// Fill the stretch or recovery description of `set` (ramp fields, or segments
// when the set's sinusoid flag is on) for `magnitude` mm at `pitch` mm per step,
// and return the seconds the unit will actually take. A ramped phase stores
// the period the solver found.
double CompileStretchPhase(DeviceSet& set, float pitch, double magnitude, double seconds,
                           const TimingFunctions& timing = {});
double CompileRecoveryPhase(DeviceSet& set, float pitch, double magnitude, double seconds,
                            const TimingFunctions& timing = {});

// The half sine of a sinusoid phase over `total_steps` steps in eight segments.
// A duration the ramp cannot meet is replaced by a feasible one of at most
// 1.5 s; `actual_seconds` receives what the unit will take.
void CompileSinusoidPhase(MotionPhase phase, DeviceSet& set, double seconds, double total_steps,
                          double& actual_seconds, const TimingFunctions& timing = {});

// The longest a stretch or recovery phase of `magnitude` mm can take: a step
// period is a 32-bit count of timer ticks, so no step lasts longer than the
// slowest period; a phase given more time runs shorter than composed (and one
// given exactly the slowest period's time wraps round to the fastest). A
// sinusoid is as slow as its segment of fewest steps allows (every segment
// lasts an eighth of the phase). A phase of no steps takes no time whatever
// it is given, and has no limit here: infinity.
double LongestPhaseSeconds(MotionPhase phase, bool sinusoid, float pitch, double magnitude);

// The longest hold or rest the image holds: hundredths of a second in 32 bits.
inline constexpr double kLongestPauseSeconds = 4294967295.0 / 100.0;

// Durations of the phases of a stored set.
double StretchPhaseSeconds(const DeviceSet& set);
double RecoveryPhaseSeconds(const DeviceSet& set);

}  // namespace stravon
