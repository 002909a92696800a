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

// Durations of the phases of a stored set.
double StretchPhaseSeconds(const DeviceSet& set);
double RecoveryPhaseSeconds(const DeviceSet& set);

}  // namespace stravon
