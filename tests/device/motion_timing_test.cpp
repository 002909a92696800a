// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/motion_timing.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace stravon {
namespace {

TEST(RampTableTest, HoldsTheSharedRamp) {
  const RampTableArray& t = RampTable();
  const std::vector<std::uint32_t> first(t.begin() + 1, t.begin() + 11);
  EXPECT_EQ(first, (std::vector<std::uint32_t>{30357, 12574, 9648, 8134, 7166, 6479, 5958, 5545,
                                               5208, 4926}));
  const std::vector<std::uint32_t> last(t.begin() + 400, t.end());
  EXPECT_EQ(last,
            (std::vector<std::uint32_t>{759, 758, 757, 756, 755, 754, 753, 752, 751, 751, 750, 0}));
  EXPECT_EQ(t[0], 0u);
  for (std::size_t n = 2; n <= 410; ++n) EXPECT_LE(t[n], t[n - 1]) << n;
}

TEST(RampTableTest, RampLength) {
  const struct {
    std::uint32_t period;
    std::uint32_t length;
  } cases[] = {{30357, 2}, {30358, 0},  {kSlowestPeriod, 0}, {12574, 4}, {9649, 4},  {9648, 6},
               {4000, 28}, {1000, 460}, {751, 818},          {750, 820}, {749, 820}, {1, 820},
               {0, 822}};
  for (const auto& c : cases) EXPECT_EQ(RampLength(c.period), c.length) << c.period;
}

TEST(RampTableTest, RampSumsStopAtTheEndOfTheTable) {
  EXPECT_EQ(RampSum(0, 0), 0.0);
  EXPECT_EQ(RampSum(0, 1), 30357 / 24000000.0);
  EXPECT_EQ(RampSum(1, 2), 12574 / 24000000.0 + 9648 / 24000000.0);
  EXPECT_EQ(RampSum(405, 400), RampSum(405, 5));
  EXPECT_EQ(RampSum(411, 10), 0.0);
  EXPECT_EQ(RampSum(1000, 10), 0.0);
}

struct DurationCase {
  const char* what;
  std::int32_t steps;
  std::uint32_t period;
  std::uint32_t previous;
  bool stop;
  double seconds;
  std::uint32_t period_after;
  bool limited;
};

TEST(PhaseDurationTest, EachKindOfPhase) {
  const double t1 = 30357 / 24000000.0;
  const DurationCase cases[] = {
      {"rest to rest, no ramp", 2267, 105866, 0, true, 2267 * (105866 / 24000000.0), 105866, false},
      {"rest to rest, 1 step", 1, 4000, 0, true, 0.0, 0, true},
      {"rest to rest, ramps do not fit", 100, 750, 0, true, 4 * RampSum(0, 25), 3066, true},
      {"rest to rest, ramps fit", 100, 30357, 0, true, 4 * RampSum(0, 1) + 96 * t1, 30357, false},
      {"from rest, ramp does not fit", 3, 750, 0, false, 2 * RampSum(0, 1), 30357, true},
      {"from rest, ramp fits", 10, 12574, 0, false, 2 * RampSum(0, 2) + 6 * (12574 / 24e6), 12574,
       false},
      {"same ramp as before", 10, 5000, 5100, false, 10 * (5000 / 24000000.0), 5000, false},
      {"slowing, too few steps", 10, 800, 760, false, 2 * RampSum(360, 5),
       RampTable()[(798 - 10) / 2], true},
      {"speeding up, too few steps", 10, 760, 800, false, 2 * RampSum(360, 5), RampTable()[5 + 360],
       true},
      {"final segment from a slow one", 10, 800, 30000, true,
       2 * RampSum(0, 360) + 2 * RampSum(1, 1) + 8 * (800 / 24e6), 800, false},
  };
  for (const DurationCase& c : cases) {
    std::uint32_t period = c.period;
    bool limited = !c.limited;
    EXPECT_EQ(PhaseDuration(c.steps, period, limited, c.previous, c.stop), c.seconds) << c.what;
    EXPECT_EQ(period, c.period_after) << c.what;
    EXPECT_EQ(limited, c.limited) << c.what;
    // Recovery counts its steps the same way.
    period = c.period;
    EXPECT_EQ(PhaseDuration(-c.steps, period, limited, c.previous, c.stop), c.seconds) << c.what;
  }
}

TEST(PhaseDurationTest, FinalSlowDownLongerThanTheSegmentLeavesNoCruise) {
  // After a period of 760 the slow-down takes 798 steps, far more than 10.
  std::uint32_t period = 750;
  bool limited = false;
  EXPECT_EQ(PhaseDuration(10, period, limited, 760, true),
            2 * RampSum(0, 410) + 2 * RampSum(399, 399));
  EXPECT_EQ(period, 750u);
  EXPECT_TRUE(limited);

  // Slower than before: the period moves on by one tick.
  period = 800;
  const double seconds = PhaseDuration(10, period, limited, 760, true);
  EXPECT_EQ(period, 801u);
  EXPECT_TRUE(limited);
  EXPECT_GT(seconds, 0.0);
  EXPECT_LT(seconds, 0.1);
}

TEST(ToSecondsTest, SecondsPerUnit) {
  const struct {
    TimeUnit unit;
    double seconds;
  } cases[] = {{TimeUnit::Seconds, 2.5},          {TimeUnit::Minutes, 150.0},
               {TimeUnit::Hours, 9000.0},         {TimeUnit::Days, 216000.0},
               {TimeUnit::MSeconds, 2.5 * 0.001}, {TimeUnit::DSeconds, 2.5 * 0.1},
               {static_cast<TimeUnit>(7), 2.5}};
  for (const auto& c : cases) EXPECT_EQ(ToSeconds(c.unit, 2.5), c.seconds);
}

}  // namespace
}  // namespace stravon
