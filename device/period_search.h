// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace stravon {

// The period that makes |steps| steps last `seconds`: next to the crossing
// point of the search that moves one tick at a time from seconds / steps.
// `limited` is set when the phase cannot be made fast enough.
std::uint32_t SolvePeriod(std::int32_t steps, bool& limited, std::uint32_t previous_period,
                          bool stop_at_end, double seconds);

}  // namespace stravon
