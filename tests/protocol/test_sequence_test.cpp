// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/test_sequence.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "protocol/enumerations.h"
#include "protocol/test_set.h"

namespace stravon {
namespace {

TestSet MakeSet(double stretch, double recovery, double hold, double rest, std::int32_t reps,
                TimeUnit unit) {
  TestSet set;
  set.StretchDurationSec = stretch;
  set.RecoveryDurationSec = recovery;
  set.HoldTimeSec = hold;
  set.RestTimeSec = rest;
  set.NumReps = reps;
  set.TimeUnits = unit;
  return set;
}

TEST(TestSetTest, DefaultsMatchTheTable) {
  const TestSet set;
  EXPECT_EQ(set.XMode, ControlMode::Disp);
  EXPECT_EQ(set.XFunction, ControlFunction::Ramp);
  EXPECT_EQ(set.YFunction, ControlFunction::Strain);
  EXPECT_EQ(set.ZFunction, ControlFunction::Ramp);
  EXPECT_EQ(set.XUnits, MeasureUnit::Percent);
  EXPECT_EQ(set.YMagnitude, 10.0);
  EXPECT_EQ(set.ZPreloadType, PreloadType::None);
  EXPECT_EQ(set.XPreloadMag, 0.0);
  EXPECT_EQ(set.StretchDurationSec, 10.0);
  EXPECT_EQ(set.RecoveryDurationSec, 10.0);
  EXPECT_EQ(set.HoldTimeSec, 0.0);
  EXPECT_EQ(set.RestTimeSec, 0.0);
  EXPECT_EQ(set.NumReps, 1);
  EXPECT_EQ(set.DataFreqHz, DataFrequency::Hz1);
  EXPECT_EQ(static_cast<int>(set.DataFreqHz), 6);
  EXPECT_EQ(static_cast<int>(set.ImageFreqHz), 4);
  EXPECT_EQ(set.Name, "Data1");
  EXPECT_EQ(set.Tolerance, 5.0);
  EXPECT_FALSE(set.TolCorOver);
  EXPECT_EQ(set.TimeUnits, TimeUnit::Seconds);
}

TEST(TestSequenceTest, DurationsInEveryTimeUnit) {
  struct Case {
    std::int32_t unit;
    double seconds;  // of a 1, 1, 0.5, 0.5 set repeated 3 times
  };
  const Case cases[] = {{0, 9},     {1, 540}, {2, 32400}, {3, 777600},
                        {4, 0.009}, {5, 0.9}, {7, 9},     {-1, 9}};
  for (const Case& c : cases) {
    TestSequence sequence;
    sequence.sets.push_back(MakeSet(1, 1, 0.5, 0.5, 3, static_cast<TimeUnit>(c.unit)));
    EXPECT_DOUBLE_EQ(sequence.SetDurationSeconds(0), c.seconds) << c.unit;
  }
  TestSequence defaults;
  defaults.sets.emplace_back();
  EXPECT_EQ(defaults.SetDurationSeconds(0), 20.0);
}

TEST(TestSequenceTest, PreloadsAddTwoUnitsPerPreloadingRepetition) {
  struct Case {
    PreloadType x;
    PreloadType y;
    PreloadType z;
    std::int32_t reps;
    double allowance;
  };
  const auto none = PreloadType::None;
  const auto first = PreloadType::First;
  const auto every = PreloadType::Every;
  const auto invalid = static_cast<PreloadType>(-1);
  const Case cases[] = {
      {none, none, none, 3, 0},    {first, none, none, 3, 2},
      {none, first, none, 3, 2},   {every, none, none, 3, 6},
      {first, every, none, 3, 6},  {none, none, every, 3, 0},
      {invalid, none, none, 3, 0}, {every, none, none, 0, 0},
      {first, none, none, -2, 0},  {every, every, none, 2'000'000'000, 4e9},
  };
  for (const Case& c : cases) {
    TestSequence sequence;
    TestSet set = MakeSet(1, 1, 0, 0, c.reps, TimeUnit::Minutes);
    set.XPreloadType = c.x;
    set.YPreloadType = c.y;
    set.ZPreloadType = c.z;
    sequence.sets.push_back(set);
    EXPECT_EQ(sequence.PreloadAllowance(0), c.allowance) << c.reps;
    // The allowance is in the set's unit, like the phase lengths.
    EXPECT_EQ(sequence.SetDurationSeconds(0), (c.allowance + 2.0 * c.reps) * 60) << c.reps;
  }
}

TEST(TestSequenceTest, ZeroOrNegativeRepetitionsLastNothing) {
  TestSequence sequence;
  sequence.sets.push_back(MakeSet(5, 5, 5, 5, 0, TimeUnit::Seconds));
  sequence.sets.push_back(MakeSet(5, 5, 5, 5, -1, TimeUnit::Seconds));
  EXPECT_EQ(sequence.SetDurationSeconds(0), 0.0);
  EXPECT_EQ(sequence.SetDurationSeconds(1), -20.0) << "stored as read, not clamped";
  EXPECT_EQ(sequence.Repetitions(1), -1);
}

TEST(TestSequenceTest, DisplayTexts) {
  struct Case {
    TestSet set;
    const char* function;
    const char* stretch;
    const char* hold;
    const char* recovery;
    const char* rest;
  };
  TestSet edited = MakeSet(1, 0, 0.5, 2, 100, TimeUnit::MSeconds);
  edited.XMagnitude = 12.5;
  edited.XUnits = MeasureUnit::Millimetre;
  TestSet invalid = MakeSet(-1, 0.05, -1, 0, 1, static_cast<TimeUnit>(7));
  invalid.XFunction = static_cast<ControlFunction>(7);
  invalid.XUnits = static_cast<MeasureUnit>(-1);
  TestSet huge = MakeSet(1e300, 1, 0, 0, 1, TimeUnit::Days);
  huge.XMagnitude = -1e100;
  huge.XFunction = ControlFunction::Sinusoid;
  // Longer than any fixed buffer would hold: the texts grow instead.
  char printed[512];
  std::snprintf(printed, sizeof printed, "%.1f (d)", huge.StretchDurationSec);
  const std::string huge_stretch = printed;
  std::snprintf(printed, sizeof printed, "Sinusoid %.1f (%%)", huge.XMagnitude);
  const std::string huge_function = printed;
  const Case cases[] = {
      {TestSet{}, "Ramp 10.0 (%)", "10.0 (S)", "0.0 (S)", "10.0 (S)", "0.0 (S)"},
      {edited, "Ramp 12.5 (mm)", "1.0 (mS)", "0.5 (mS)", "None", "2.0 (mS)"},
      {invalid, "InvalidFunction 10.0 (InvalidUnits)", "None", "-1.0 (InvalidMode)",
       "0.1 (InvalidMode)", "0.0 (InvalidMode)"},
      {huge, huge_function.c_str(), huge_stretch.c_str(), "0.0 (d)", "1.0 (d)", "0.0 (d)"},
  };
  for (const Case& c : cases) {
    TestSequence sequence;
    sequence.sets.push_back(c.set);
    EXPECT_EQ(sequence.FunctionMagnitudeText(0), c.function);
    EXPECT_EQ(sequence.StretchDurationText(0), c.stretch);
    EXPECT_EQ(sequence.HoldDurationText(0), c.hold);
    EXPECT_EQ(sequence.RecoveryDurationText(0), c.recovery);
    EXPECT_EQ(sequence.RestDurationText(0), c.rest);
  }
}

TEST(TestSequenceTest, OutOfRangeIndexes) {
  TestSequence sequence;
  sequence.sets.push_back(MakeSet(1, 1, 1, 1, 4, TimeUnit::Seconds));
  sequence.sets[0].XPreloadType = PreloadType::Every;
  for (const int i : {-1, 1, 1000, -2147483647 - 1}) {
    EXPECT_EQ(sequence.Repetitions(i), 0) << i;
    EXPECT_EQ(sequence.PreloadAllowance(i), 0.0) << i;
    EXPECT_EQ(sequence.SetDurationSeconds(i), 0.0) << i;
    EXPECT_EQ(sequence.FunctionMagnitudeText(i), "Unknown") << i;
    EXPECT_EQ(sequence.StretchDurationText(i), "Unknown") << i;
    EXPECT_EQ(sequence.HoldDurationText(i), "Unknown") << i;
    EXPECT_EQ(sequence.RecoveryDurationText(i), "Unknown") << i;
    EXPECT_EQ(sequence.RestDurationText(i), "Unknown") << i;
  }
  EXPECT_EQ(sequence.Repetitions(0), 4);
  EXPECT_EQ(sequence.SetDurationSeconds(0), 24.0);
}

}  // namespace
}  // namespace stravon
