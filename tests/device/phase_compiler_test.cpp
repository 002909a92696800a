// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/phase_compiler.h"

#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

namespace stravon {
namespace {

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

// 4294967294 ticks of the 24 MHz timer: one tick short of the slowest period,
// whose exact time sends the period search round to period 0.
constexpr double kLongestStep = 4294967294.0 / 24000000.0;
constexpr float kPitch = 0.003175f;

struct LongestCase {
  const char* name;
  MotionPhase phase;
  bool sinusoid;
  double magnitude;     // mm
  std::uint32_t steps;  // of the slowest limiting stretch of steps; 0: no limit
};

void PrintTo(const LongestCase& c, std::ostream* os) { *os << c.name; }

class LongestPhaseTest : public ::testing::TestWithParam<LongestCase> {};

// The limit, and the compilers agreeing with it: up to the limit the phase
// takes its share of the time asked for (all of it, but for the segments of a
// sinusoid that round to no steps), beyond it less.
TEST_P(LongestPhaseTest, IsWhatTheCompiledPhaseCanTake) {
  const LongestCase& c = GetParam();
  const double longest = LongestPhaseSeconds(c.phase, c.sinusoid, kPitch, c.magnitude);
  if (c.steps == 0) {
    EXPECT_TRUE(std::isinf(longest));
    return;
  }
  const double segments = c.sinusoid ? 8.0 : 1.0;
  EXPECT_DOUBLE_EQ(longest, c.steps * kLongestStep * segments);

  const auto compiled = [&](double seconds) {
    DeviceSet set;
    if (c.sinusoid) set.Flags |= kSetSinusoid;
    return c.phase == MotionPhase::Stretch
               ? CompileStretchPhase(set, kPitch, c.magnitude, seconds)
               : CompileRecoveryPhase(set, kPitch, c.magnitude, seconds);
  };
  const double share = compiled(longest / 2) / (longest / 2);
  EXPECT_GT(share, 0.3);
  EXPECT_NEAR(compiled(longest), share * longest, longest * 1e-6);
  EXPECT_LT(compiled(longest * 1.01), share * longest * 1.01 - 1.0);
  if (!c.sinusoid) {
    // Exactly the slowest period's time: the search goes round to period 0.
    EXPECT_LT(compiled(c.steps * (4294967295.0 / 24e6)), 1.0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LongestPhaseTest,
    ::testing::Values(
        // 0.1 mm is 31 steps: about 1.54 hours at the slowest period.
        LongestCase{"RampStretch", MotionPhase::Stretch, false, 0.1, 31},
        LongestCase{"RampRecovery", MotionPhase::Recovery, false, 0.1, 31},
        LongestCase{"NegativeMagnitude", MotionPhase::Stretch, false, -0.1, 31},
        LongestCase{"NoSteps", MotionPhase::Stretch, false, 0.003, 0},
        LongestCase{"Zero", MotionPhase::Recovery, false, 0.0, 0},
        // 314 steps: segments of 12, 34, 51, 60, 60, 51, 34, 12 steps.
        LongestCase{"Sinusoid", MotionPhase::Stretch, true, 1.0, 12},
        LongestCase{"SinusoidRecovery", MotionPhase::Recovery, true, 1.0, 12},
        // 3 steps: most segments have none; the others one each.
        LongestCase{"SinusoidFewSteps", MotionPhase::Stretch, true, 0.01, 1},
        LongestCase{"SinusoidNoSteps", MotionPhase::Stretch, true, 0.003, 0}),
    [](const ::testing::TestParamInfo<LongestCase>& c) { return std::string(c.param.name); });

}  // namespace
}  // namespace stravon
