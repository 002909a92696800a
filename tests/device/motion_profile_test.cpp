// SPDX-License-Identifier: GPL-3.0-or-later
// The motion profile against the step-by-step timing reference, and its
// window evaluation against sampling the position point by point.
#include "device/motion_profile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "device/hardware_settings.h"
#include "device/motion_timing.h"
#include "device/program_image.h"
#include "protocol/test_sequence.h"
#include "tests/oracle/timing_oracle.h"

namespace stravon {
namespace {

std::uint64_t TestSeed() {
  if (const char* fixed = std::getenv("STRAVON_TEST_SEED")) return std::stoull(fixed);
  const std::uint64_t seed = (std::uint64_t{std::random_device{}()} << 32) | std::random_device{}();
  std::cout << "seed " << seed << " (STRAVON_TEST_SEED)\n";
  return seed;
}

HardwareSettings Settings(float pitch) {
  HardwareSettings settings = DefaultSeriesSettings();
  settings.MotorPitch = pitch;
  settings.MinimumSpecimenSize = 5.0f;
  return settings;
}

TestSet MmSet(ControlFunction function, double mm, double stretch, double recovery,
              std::int32_t reps = 1) {
  TestSet set;
  set.XFunction = function;
  set.XUnits = MeasureUnit::Millimetre;
  set.XMagnitude = mm;
  set.StretchDurationSec = stretch;
  set.RecoveryDurationSec = recovery;
  set.NumReps = reps;
  return set;
}

// The reference's duration and steps of one stored phase.
struct ReferencePhase {
  double seconds;
  std::int64_t steps;
};

ReferencePhase Reference(const DeviceSet& set, bool stretch) {
  if ((set.Flags & kSetSinusoid) == 0) {
    std::uint32_t period = stretch ? set.StretchPeriod : set.RecoveryPeriod;
    const std::int32_t steps = stretch ? set.StretchSteps : set.RecoverySteps;
    bool limited = false;
    return {oracle::PhaseDuration(steps, period, limited, 0, true), steps};
  }
  const SegmentArray& segments = stretch ? set.StretchSegments : set.RecoverySegments;
  ReferencePhase out{0.0, 0};
  std::uint32_t previous = 0;
  for (std::size_t i = 0; i < kSegmentCount; ++i) {
    std::int64_t steps = segments[i].Steps;
    if (i == kSegmentCount - 1) {
      const std::int64_t ramp = oracle::RampLength(segments[i].Period);
      steps += stretch ? ramp : -ramp;
    }
    std::uint32_t period = segments[i].Period;
    bool limited = false;
    out.seconds += oracle::PhaseDuration(static_cast<std::int32_t>(steps), period, limited,
                                         previous, i == kSegmentCount - 1);
    out.steps += steps;
    previous = period;
  }
  return out;
}

TEST(MotionProfileTest, RandomProtocolsMatchTheReference) {
  std::mt19937_64 random(TestSeed());
  std::uniform_int_distribution<int> pick(0, 99);
  std::uniform_real_distribution<double> magnitude(0.0, 12.0);
  std::uniform_real_distribution<double> log_seconds(std::log(0.01), std::log(30.0));
  for (int run = 0; run < 20; ++run) {
    const HardwareSettings settings = Settings(run % 2 == 0 ? 0.003175f : 0.0005f);
    TestSequence sequence;
    std::size_t bytes = 0;
    while (bytes + 176 <= 1408) {
      TestSet set = MmSet(pick(random) < 30 ? ControlFunction::Sinusoid : ControlFunction::Ramp,
                          magnitude(random), std::exp(log_seconds(random)),
                          std::exp(log_seconds(random)), 1 + pick(random) % 4);
      if (pick(random) < 10) set.StretchDurationSec = 0.0;
      if (pick(random) < 10) set.RecoveryDurationSec = 0.0;
      set.HoldTimeSec = pick(random) / 10.0;
      set.RestTimeSec = pick(random) / 20.0;
      if (pick(random) < 20) set.TimeUnits = TimeUnit::Minutes;
      bytes += set.XFunction == ControlFunction::Sinusoid ? 176 : 32;
      sequence.sets.push_back(set);
    }
    const MotionProfile profile = BuildMotionProfile(sequence, settings);
    // The reference compiles on its own, so nothing of the device code is
    // taken on trust.
    DeviceSetTable table;
    const std::int32_t count = CompileProtocol(sequence, settings, table, oracle::kTiming);
    ASSERT_EQ(profile.Sets().size(), static_cast<std::size_t>(count));

    const double pitch = settings.MotorPitch;
    std::int64_t position = 0;
    double clock = 0.0;
    for (std::int32_t i = 0; i < count; ++i) {
      const ProfileSet& set = profile.Sets()[static_cast<std::size_t>(i)];
      const DeviceSet& device = table[static_cast<std::size_t>(i)];
      const ReferencePhase stretch = Reference(device, true);
      const ReferencePhase recovery = Reference(device, false);
      const double hold = device.HoldTime / 100.0;
      const double rest = device.RestTime / 100.0;
      const std::string where = "run " + std::to_string(run) + " set " + std::to_string(i + 1);
      const ProfilePhase& stretch_phase = profile.PhaseOf(set, ProfilePhaseKind::Stretch);
      const ProfilePhase& recovery_phase = profile.PhaseOf(set, ProfilePhaseKind::Recovery);
      EXPECT_EQ(stretch_phase.seconds, stretch.seconds) << where;
      EXPECT_EQ(recovery_phase.seconds, recovery.seconds) << where;
      EXPECT_EQ(profile.PhaseOf(set, ProfilePhaseKind::Hold).seconds, hold) << where;
      EXPECT_EQ(profile.PhaseOf(set, ProfilePhaseKind::Rest).seconds, rest) << where;
      EXPECT_NEAR(set.start, clock, 1e-9 * (1.0 + clock)) << where;

      for (std::uint32_t rep = 0; rep < set.repetitions; ++rep) {
        // Position at the end of every phase of every repetition.
        const ReferencePhase steps[4] = {stretch, {hold, 0}, recovery, {rest, 0}};
        for (const ReferencePhase& phase : steps) {
          clock += phase.seconds;
          position += phase.steps;
          EXPECT_NEAR(profile.PositionMm(clock), static_cast<double>(position) * pitch, 1e-6)
              << where << " repetition " << rep << " at " << clock << " s";
        }
      }
      ASSERT_FALSE(HasFailure()) << where;
    }
    EXPECT_NEAR(profile.Duration(), clock, 1e-9 * (1.0 + clock));
  }
}

// Every column's extremes hold what sampling finds inside it, and reach it.
void ExpectColumnsBracketSamples(const MotionProfile& profile, double from, double to,
                                 int columns) {
  const std::vector<ProfileColumn> out = profile.Evaluate(from, to, columns);
  ASSERT_EQ(out.size(), static_cast<std::size_t>(columns));
  const double width = (to - from) / columns;
  const double slack = 1e-9;
  for (int c = 0; c < columns; ++c) {
    const ProfileColumn& column = out[static_cast<std::size_t>(c)];
    const double a = from + c * width;
    if (a + width < 0.0 || a > profile.Duration()) {
      EXPECT_FALSE(column.covered) << c;
      continue;
    }
    ASSERT_TRUE(column.covered) << c;
    double low = 1e300;
    double high = -1e300;
    for (int k = 0; k <= 64; ++k) {
      const double t = std::clamp(a + width * k / 64, 0.0, profile.Duration());
      const double mm = profile.PositionMm(t);
      low = std::min(low, mm);
      high = std::max(high, mm);
      ASSERT_GE(mm, column.low_mm - slack) << "column " << c << " at " << t;
      ASSERT_LE(mm, column.high_mm + slack) << "column " << c << " at " << t;
    }
    // And no wider than the samples allow: between two samples the actuator
    // moves at most at the ramp's top speed.
    const double between = 32000.0 * profile.Pitch() * width / 64 + slack;
    EXPECT_GE(column.low_mm, low - between) << "column " << c;
    EXPECT_LE(column.high_mm, high + between) << "column " << c;
  }
}

TEST(MotionProfileTest, ColumnsHoldTheExtremesAtEveryZoom) {
  const HardwareSettings settings = Settings(0.003175f);
  TestSequence sequence;
  sequence.sets.push_back(MmSet(ControlFunction::Ramp, 5.0, 2.0, 1.0, 3));
  sequence.sets.back().HoldTimeSec = 0.5;
  sequence.sets.back().RestTimeSec = 0.7;
  sequence.sets.push_back(MmSet(ControlFunction::Sinusoid, 3.0, 1.5, 1.5, 4));
  sequence.sets.push_back(MmSet(ControlFunction::Ramp, 1.0, 0.0, 0.5, 2));  // only recovers
  const MotionProfile profile = BuildMotionProfile(sequence, settings);
  const double end = profile.Duration();
  ExpectColumnsBracketSamples(profile, -1.0, end + 1.0, 37);
  ExpectColumnsBracketSamples(profile, 0.0, end, 800);
  ExpectColumnsBracketSamples(profile, 2.9, 3.1, 50);  // inside the hold and the recovery
  ExpectColumnsBracketSamples(profile, 12.0, 15.0, 200);

  const ProfileColumn whole = profile.Range(0.0, end);
  EXPECT_NEAR(whole.high_mm, 5.0, 0.01);
  EXPECT_NEAR(whole.low_mm, -2.0, 0.01);
  EXPECT_NEAR(profile.PositionMm(end), -2.0, 0.01);
  EXPECT_EQ(profile.LowestMm(), whole.low_mm);
  EXPECT_EQ(profile.HighestMm(), whole.high_mm);
}

TEST(MotionProfileTest, RampedPhaseSpeedsUpCruisesAndSlowsDown) {
  const MotionProfile profile =
      BuildMotionProfile({{MmSet(ControlFunction::Ramp, 5.0, 0.2, 0.2)}, {}}, Settings(0.003175f));
  const ProfilePhase& stretch = profile.Phases()[0];
  ASSERT_EQ(stretch.piece_count, 3u);
  EXPECT_EQ(profile.Pieces()[0].shape, ProfilePiece::Shape::SpeedUp);
  EXPECT_EQ(profile.Pieces()[1].shape, ProfilePiece::Shape::Cruise);
  EXPECT_EQ(profile.Pieces()[2].shape, ProfilePiece::Shape::SlowDown);
  // Symmetric: as far along at a quarter as short of the end at three
  // quarters, and slower than the cruise at the start.
  const double t = stretch.seconds;
  const double full = profile.PositionMm(t);
  EXPECT_NEAR(profile.PositionMm(t / 4), full - profile.PositionMm(3 * t / 4), 1e-3);
  EXPECT_NEAR(profile.PositionMm(t / 2), full / 2, 1e-3);
  const ProfilePiece& up = profile.Pieces()[0];
  EXPECT_LT(profile.PositionMm(up.seconds / 2), profile.PositionMm(up.seconds) / 2);
  double previous = 0.0;
  for (int k = 0; k <= 1000; ++k) {
    const double mm = profile.PositionMm(t * k / 1000);
    EXPECT_GE(mm, previous - 1e-12);
    previous = mm;
  }
}

TEST(MotionProfileTest, PhasesTheMotorCannotMakeAreLate) {
  TestSequence sequence;
  sequence.sets.push_back(MmSet(ControlFunction::Ramp, 2.0, 10.0, 0.02));  // 630 steps in 20 ms
  sequence.sets.push_back(MmSet(ControlFunction::Sinusoid, 5.0, 0.1, 4.0));
  const MotionProfile profile = BuildMotionProfile(sequence, Settings(0.003175f));
  const auto& sets = profile.Sets();
  const ProfilePhase& slow = profile.PhaseOf(sets[0], ProfilePhaseKind::Stretch);
  const ProfilePhase& fast = profile.PhaseOf(sets[0], ProfilePhaseKind::Recovery);
  EXPECT_FALSE(slow.late);
  EXPECT_NEAR(slow.seconds, 10.0, 0.005);
  EXPECT_TRUE(fast.late);
  EXPECT_EQ(fast.intended, 0.02);
  EXPECT_GT(fast.seconds, 0.03);
  EXPECT_TRUE(profile.PhaseOf(sets[1], ProfilePhaseKind::Stretch).late);
  EXPECT_FALSE(profile.PhaseOf(sets[1], ProfilePhaseKind::Recovery).late);
  EXPECT_TRUE(profile.AnyLate());

  // Columns say which time spans hold a late phase.
  const double fast_start = sets[0].start + fast.start;
  EXPECT_TRUE(profile.Range(fast_start, fast_start + fast.seconds / 2).late);
  EXPECT_FALSE(profile.Range(1.0, 9.0).late);
  const auto location = profile.Locate(fast_start + fast.seconds / 2);
  ASSERT_TRUE(location.has_value());
  EXPECT_EQ(&profile.Phases()[location->phase], &fast);
}

TEST(MotionProfileTest, StretchBeyondTheSoftLimitShows) {
  const HardwareSettings settings = DefaultSeriesSettings();  // soft limit 7.2 mm
  TestSequence within;
  within.sets.push_back(MmSet(ControlFunction::Ramp, 3.0, 1.0, 0.0, 2));  // does not recover
  TestSequence beyond = within;
  beyond.sets[0].NumReps = 3;
  EXPECT_LE(BuildMotionProfile(within, settings).HighestMm(), settings.TravelSoftLimit);
  EXPECT_NEAR(BuildMotionProfile(beyond, settings).HighestMm(), 9.0, 0.02);
  // A set that comes back still passes the limit on its way.
  within.sets.push_back(MmSet(ControlFunction::Ramp, 3.0, 1.0, 1.0, 5));
  const MotionProfile peak = BuildMotionProfile(within, settings);
  EXPECT_GT(peak.HighestMm(), settings.TravelSoftLimit);
  EXPECT_NEAR(peak.PositionMm(peak.Duration()), 6.0, 0.02);
}

TEST(MotionProfileTest, RepetitionsCostNothing) {
  TestSequence once;
  once.sets.push_back(MmSet(ControlFunction::Ramp, 2.0, 1.0, 1.0, 1));
  once.sets.back().RestTimeSec = 1.0;
  once.sets.push_back(MmSet(ControlFunction::Sinusoid, 1.0, 1.0, 1.0, 1));
  TestSequence many = once;
  many.sets[0].NumReps = 1000000;
  many.sets[1].NumReps = 1000000;
  const MotionProfile a = BuildMotionProfile(once, Settings(0.003175f));
  const MotionProfile b = BuildMotionProfile(many, Settings(0.003175f));
  EXPECT_EQ(a.Pieces().size(), b.Pieces().size());
  EXPECT_EQ(a.Phases().size(), b.Phases().size());
  const double cycle = b.Sets()[0].cycle_seconds;
  EXPECT_NEAR(b.Duration(), 1e6 * (cycle + b.Sets()[1].cycle_seconds), 1e-3);

  // Repetition 500000 looks like the first.
  const double shift = 500000 * cycle;
  const auto first = b.Evaluate(0.0, cycle, 100);
  const auto middle = b.Evaluate(shift, shift + cycle, 100);
  for (std::size_t c = 0; c < first.size(); ++c) {
    EXPECT_NEAR(first[c].low_mm, middle[c].low_mm, 1e-3) << c;
    EXPECT_NEAR(first[c].high_mm, middle[c].high_mm, 1e-3) << c;
  }
  const ProfileColumn whole = b.Range(0.0, b.Duration());
  EXPECT_NEAR(whole.high_mm, 2.0, 0.01);
  EXPECT_NEAR(whole.low_mm, 0.0, 1e-9);
}

TEST(MotionProfileTest, BreakpointsTraceThePosition) {
  TestSequence sequence;
  sequence.sets.push_back(MmSet(ControlFunction::Ramp, 2.0, 0.3, 0.5, 2));
  sequence.sets.push_back(MmSet(ControlFunction::Sinusoid, 1.0, 1.0, 1.0, 1));
  const MotionProfile profile = BuildMotionProfile(sequence, Settings(0.003175f));
  double last_t = -1.0;
  double last_mm = 0.0;
  std::size_t count = 0;
  profile.ForEachBreakpoint([&](double t, double mm) {
    EXPECT_GE(t, last_t);
    if (count == 0) {
      EXPECT_EQ(t, 0.0);
    }
    // Between breakpoints the position runs straight, so the midpoint of two
    // at distinct times lies on the chord.
    if (t > last_t && count > 0) {
      const double middle = profile.PositionMm((t + last_t) / 2);
      EXPECT_NEAR(middle, (last_mm + mm) / 2, 1e-6) << t;
    }
    last_t = t;
    last_mm = mm;
    ++count;
    return true;
  });
  EXPECT_EQ(last_t, profile.Duration());
  EXPECT_NEAR(last_mm, 0.0, 1e-9);

  std::size_t stopped = 0;
  profile.ForEachBreakpoint([&](double, double) { return ++stopped < 5; });
  EXPECT_EQ(stopped, 5u);
}

TEST(MotionProfileTest, EmptyProtocolCoversNothing) {
  const MotionProfile profile = BuildMotionProfile({}, DefaultSeriesSettings());
  EXPECT_EQ(profile.Duration(), 0.0);
  EXPECT_FALSE(profile.Range(0.0, 1.0).covered);
  EXPECT_EQ(profile.PositionMm(5.0), 0.0);
  EXPECT_FALSE(profile.Locate(0.0).has_value());
}

}  // namespace
}  // namespace stravon
