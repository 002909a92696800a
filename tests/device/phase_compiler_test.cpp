#include "device/phase_compiler.h"

#include <cstdint>

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

}  // namespace
}  // namespace stravon
