// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/period_search.h"

#include <cstdint>

#include <gtest/gtest.h>

#include "device/motion_timing.h"

namespace stravon {
namespace {

struct SolveCase {
  std::int32_t steps;
  std::uint32_t previous;
  bool stop;
  double seconds;
  std::uint32_t period;
  bool limited;
};

TEST(SolvePeriodTest, Solutions) {
  const SolveCase cases[] = {
      // Above the ramp: 2267 x 105866 ticks is just under 10 s.
      {2267, 0, true, 10.0, 105866, false},
      {2267, 0, true, 1.0, 10549, false},
      {2267, 0, true, 0.5, 5216, false},
      {200, 0, true, 0.1, 11606, false},
      {100, 0, true, 0.0, 3066, true},
      {0, 0, true, 0.0, 0, false},  // 4294967295 + 1 wraps
      {0, 0, true, 1.0, kSlowestPeriod, false},
      // Starts at 750 (from 240): too fast to be met, it stops at 749.
      {100000, 0, false, 1.0, 749, true},
      // From a fast period to a slow end, 3.4 million ticks above the start.
      {889, 760, true, 14.36709, 3775799, false},
      {-889, 760, true, 14.36709, 3775799, false},
  };
  for (const SolveCase& c : cases) {
    bool limited = !c.limited;
    EXPECT_EQ(SolvePeriod(c.steps, limited, c.previous, c.stop, c.seconds), c.period)
        << c.steps << " steps in " << c.seconds;
    EXPECT_EQ(limited, c.limited) << c.steps << " steps in " << c.seconds;
  }
}

TEST(SolvePeriodTest, TheSolutionIsNextToTheCrossingPoint) {
  // Going slower: the solution stays below the target, one tick more would not.
  bool limited = false;
  const std::uint32_t period = SolvePeriod(889, limited, 760, true, 14.36709);
  std::uint32_t at = period;
  EXPECT_LT(PhaseDuration(889, at, limited, 760, true), 14.36709);
  at = period + 1;
  EXPECT_GT(PhaseDuration(889, at, limited, 760, true), 14.36709);
}

}  // namespace
}  // namespace stravon
