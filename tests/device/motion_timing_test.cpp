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

TEST(SinusoidPhaseTest, StretchFollowsTheHalfSine) {
  DeviceSet set;
  set.Flags |= kSetSinusoid;
  double actual = 0.0;
  CompileSinusoidPhase(MotionPhase::Stretch, set, 2.0, 10000, actual);
  // Steps 381, 1083, 1623, 1913 and back; the last leaves out its 2-step
  // slow-down. Mask and control bytes: faster/slower (bit 0), ramp length
  // changed (bit 5), stretch (0x06), last (0x08).
  const SegmentArray expected = {{{15671, 381, 0xFF, 0x07},
                                  {5509, 1083, 0xDF, 0x07},
                                  {3690, 1623, 0xDF, 0x07},
                                  {3135, 1913, 0xDF, 0x07},
                                  {3136, 1913, 0xFE, 0x26},
                                  {3699, 1623, 0xDE, 0x06},
                                  {5560, 1083, 0xDE, 0x06},
                                  {15880, 379, 0xDE, 0x0E}}};
  EXPECT_EQ(set.StretchSegments, expected);
  EXPECT_NEAR(actual, 2.0, 0.001);
  EXPECT_EQ(StretchPhaseSeconds(set), actual);
  EXPECT_EQ(set.RecoverySegments, DeviceSet{}.RecoverySegments);
}

TEST(SinusoidPhaseTest, RecoveryRunsBack) {
  DeviceSet set;
  set.Flags |= kSetSinusoid;
  double actual = 0.0;
  CompileSinusoidPhase(MotionPhase::Recovery, set, 2.0, 10000, actual);
  std::int32_t steps = 0;
  for (std::size_t i = 0; i < kSegmentCount; ++i) {
    const MotionSegment& segment = set.RecoverySegments[i];
    EXPECT_LT(segment.Steps, 0) << i;
    EXPECT_EQ(segment.Control & 0x0E, i == kSegmentCount - 1 ? 0x0C : 0x04) << i;
    steps += segment.Steps;
  }
  EXPECT_EQ(steps - static_cast<std::int32_t>(RampLength(set.RecoverySegments[7].Period)), -10000);
  EXPECT_EQ(RecoveryPhaseSeconds(set), actual);
  EXPECT_EQ(set.StretchSegments, DeviceSet{}.StretchSegments);
}

TEST(SinusoidPhaseTest, AnInfeasibleDurationBecomesAtMostOneAndAHalfSeconds) {
  // 80000 steps cannot follow a sine in 3 s; the duration searched for starts
  // at 1.5 s whatever was asked.
  DeviceSet three;
  DeviceSet one_and_a_half;
  three.Flags |= kSetSinusoid;
  one_and_a_half.Flags |= kSetSinusoid;
  double actual_three = 0.0;
  double actual_one_and_a_half = 0.0;
  CompileSinusoidPhase(MotionPhase::Stretch, three, 3.0, 80000, actual_three);
  CompileSinusoidPhase(MotionPhase::Stretch, one_and_a_half, 1.5, 80000, actual_one_and_a_half);
  EXPECT_EQ(three.StretchSegments, one_and_a_half.StretchSegments);
  EXPECT_EQ(actual_three, actual_one_and_a_half);

  DeviceSet slow;
  slow.Flags |= kSetSinusoid;
  double actual_slow = 0.0;
  CompileSinusoidPhase(MotionPhase::Stretch, slow, 100.0, 80000, actual_slow);
  EXPECT_NEAR(actual_slow, 100.0, 0.01);
}

TEST(SinusoidPhaseTest, ZeroDurationStoresTheUnitsOwnSlowDown) {
  DeviceSet set;
  set.Flags |= kSetSinusoid;
  double actual = 1.0;
  CompileSinusoidPhase(MotionPhase::Stretch, set, 0.0, 0, actual);
  CompileSinusoidPhase(MotionPhase::Recovery, set, 0.0, 0, actual);
  EXPECT_EQ(actual, 0.0);
  for (std::size_t i = 0; i < kSegmentCount; ++i) {
    const bool last = i == kSegmentCount - 1;
    const std::uint8_t control = i == 0 ? 0x01 : 0x21;
    EXPECT_EQ(set.StretchSegments[i],
              (MotionSegment{0, last ? -822 : 0, 0xFF,
                             static_cast<std::uint8_t>(control | (last ? 0x0E : 0x06))}))
        << i;
    EXPECT_EQ(set.RecoverySegments[i],
              (MotionSegment{0, last ? 822 : 0, 0xFF,
                             static_cast<std::uint8_t>(control | (last ? 0x0C : 0x04))}))
        << i;
  }
  EXPECT_EQ(StretchPhaseSeconds(set), 0.0);
}

TEST(CompilePhaseTest, StoredPhasesLastWhatTheCompilerReported) {
  const float pitch = 0.003175f;
  for (const bool sinusoid : {false, true}) {
    for (const double magnitude : {0.5, 7.2, 38.0}) {
      for (const double seconds : {0.05, 1.0, 30.0}) {
        DeviceSet set;
        if (sinusoid) set.Flags |= kSetSinusoid;
        const double stretch = CompileStretchPhase(set, pitch, magnitude, seconds);
        const double recovery = CompileRecoveryPhase(set, pitch, magnitude, seconds);
        EXPECT_EQ(StretchPhaseSeconds(set), stretch) << sinusoid << magnitude << seconds;
        EXPECT_EQ(RecoveryPhaseSeconds(set), recovery) << sinusoid << magnitude << seconds;
        if (!sinusoid) {
          EXPECT_EQ(set.StretchSteps, static_cast<std::int32_t>(magnitude / pitch));
          EXPECT_EQ(set.RecoverySteps, -set.StretchSteps);
        }
      }
    }
  }
}

TEST(DeviceSetTest, InitialValues) {
  const DeviceSet set;
  EXPECT_EQ(set.Repetitions, 1u);
  EXPECT_EQ(set.Flags, kSetInUse);
  EXPECT_EQ(set.StretchPeriod, 4000u);
  EXPECT_EQ(set.StretchSteps, 2267);
  EXPECT_EQ(set.RecoverySteps, -2267);
  EXPECT_EQ(set.StretchSegments[7], (MotionSegment{4000, 200, 0, 0}));
  EXPECT_EQ(set.RecoverySegments[0], (MotionSegment{4000, -200, 0, 0}));
}

}  // namespace
}  // namespace stravon
