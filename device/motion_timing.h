#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/enumerations.h"

namespace stravon {

// The unit's step timer runs at 24 MHz; a step period is a count of its ticks.
inline constexpr double kTimerHz = 24000000.0;
// The period of a phase of zero steps.
inline constexpr std::uint32_t kSlowestPeriod = 4294967295u;
// Slowest period that has a ramp; slower phases start and stop at once.
inline constexpr std::uint32_t kSlowestRampPeriod = 30357;
// One below the ramp's fastest period: a phase that cannot be made fast enough
// ends its search here.
inline constexpr std::uint32_t kFastestSolvedPeriod = 749;

// The acceleration ramp shared with the unit's firmware: entry n is the period
// of the n-th step from rest at 1,250,000 steps/s^2. Entries 0 and 411 are 0;
// the others fall from 30357 to 750 and never rise.
inline constexpr std::size_t kRampTableSize = 412;
using RampTableArray = std::array<std::uint32_t, kRampTableSize>;
const RampTableArray& RampTable();

// Steps needed to speed up from rest to `period` (and to slow down from it):
// twice the number of leading ramp entries at or above it, 0 above 30357.
std::uint32_t RampLength(std::uint32_t period);

// Seconds of ramp entries k+1 ... k+m, each converted and divided before it is
// added, in increasing order. Entries past the end of the table count as 0.
double RampSum(std::uint32_t k, std::uint32_t m);

// Seconds that |steps| steps take at `period`, starting from `previous_period`
// (0: from rest) and, with `stop_at_end`, ending at rest. When the ramps do not
// fit into the steps, `period` is replaced by the period actually reached and
// `limited` is set; a final phase whose slow-down is longer than its steps
// cannot run, counts no cruise steps and sets `limited` too.
double PhaseDuration(std::int32_t steps, std::uint32_t& period, bool& limited,
                     std::uint32_t previous_period, bool stop_at_end);

// The period that makes |steps| steps last `seconds`: next to the crossing
// point of the search that moves one tick at a time from seconds / steps.
// `limited` is set when the phase cannot be made fast enough.
std::uint32_t SolvePeriod(std::int32_t steps, bool& limited, std::uint32_t previous_period,
                          bool stop_at_end, double seconds);

// A phase length in `unit` as seconds.
double ToSeconds(TimeUnit unit, double value);

// Flags of a DeviceSet.
inline constexpr std::uint32_t kSetInUse = 0x0001;
inline constexpr std::uint32_t kSetSinusoid = 0x0002;
inline constexpr std::uint32_t kSetTimeUnitMask = 0x0C00;
inline constexpr std::uint32_t kSetTimeUnitShift = 10;
inline constexpr std::uint32_t kSetPercentMagnitude = 0x1000;

// Bits of a sinusoid segment's control and mask bytes. The control byte sets a
// bit that holds; the mask byte (otherwise all ones) clears one that does not.
inline constexpr std::uint8_t kSegmentAccelerates = 0x01;  // not slower than before
inline constexpr std::uint8_t kSegmentNoRamp = 0x20;       // ramp length unchanged
inline constexpr std::uint8_t kSegmentStretch = 0x06;
inline constexpr std::uint8_t kSegmentRecovery = 0x04;
inline constexpr std::uint8_t kSegmentLast = 0x08;

// One of the eight segments of a sinusoid phase.
struct MotionSegment {
  std::uint32_t Period = 4000;
  std::int32_t Steps = 200;
  std::uint8_t Mask = 0;
  std::uint8_t Control = 0;

  bool operator==(const MotionSegment&) const = default;
};

inline constexpr std::size_t kSegmentCount = 8;
using SegmentArray = std::array<MotionSegment, kSegmentCount>;

constexpr SegmentArray InitialSegments(std::int32_t steps) {
  SegmentArray segments{};
  for (MotionSegment& segment : segments) segment.Steps = steps;
  return segments;
}

// One set in the unit's terms. The initial values are what every table entry
// holds before a compile or a decode.
struct DeviceSet {
  std::uint32_t Repetitions = 1;
  std::uint32_t HoldTime = 0;  // hundredths of a second
  std::uint32_t RestTime = 0;  // hundredths of a second
  std::uint32_t Flags = kSetInUse;
  std::uint32_t StretchPeriod = 4000;
  std::int32_t StretchSteps = 2267;
  std::uint32_t RecoveryPeriod = 4000;
  std::int32_t RecoverySteps = -2267;
  SegmentArray StretchSegments = InitialSegments(200);
  SegmentArray RecoverySegments = InitialSegments(-200);

  bool operator==(const DeviceSet&) const = default;
};

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
