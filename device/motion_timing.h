// SPDX-License-Identifier: GPL-3.0-or-later
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
// The ramp's fastest period, and one below it: a phase that cannot be made
// fast enough ends its search there.
inline constexpr std::uint32_t kFastestRampPeriod = 750;
inline constexpr std::uint32_t kFastestSolvedPeriod = kFastestRampPeriod - 1;

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

// The number of steps of a phase in either direction.
std::uint32_t StepCount(std::int32_t steps);

// A phase length in `unit` as seconds.
double ToSeconds(TimeUnit unit, double value);

}  // namespace stravon
