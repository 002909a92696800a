// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "device/motion_timing.h"
#include "device/phase_compiler.h"

// The motion timing written out step by step as the unit's arithmetic is
// defined: the ramp length walks the table, ramp sums are added up on every
// call, and the period search moves one tick per iteration without a cap.
// Above the slowest ramp period the search bisects instead of walking (there
// the duration never falls as the period rises and no call is limited), which
// only saves time.
namespace stravon::oracle {

std::uint32_t RampLength(std::uint32_t period);
double RampSum(std::uint32_t k, std::uint32_t m);
double PhaseDuration(std::int32_t steps, std::uint32_t& period, bool& limited,
                     std::uint32_t previous_period, bool stop_at_end);
std::uint32_t SolvePeriod(std::int32_t steps, bool& limited, std::uint32_t previous_period,
                          bool stop_at_end, double seconds);

inline constexpr TimingFunctions kTiming{PhaseDuration, SolvePeriod};

}  // namespace stravon::oracle
