// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/set_editor.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "device/phase_compiler.h"

namespace stravon {
namespace {

constexpr float kPitch = 0.003175f;
const SetEditorLimits kLimits{15.0, kPitch};

using Outcome = SetEditorResult::Outcome;

// The fields of the default set with the given changes, as typed.
SetEditorFields Typed(const std::function<void(SetEditorFields&)>& change) {
  SetEditorFields fields = OpenSetEditor(TestSet{});
  change(fields);
  return fields;
}

std::string Fixed6(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%f", value);
  return text;
}

// The time the unit takes for a ramped stretch that it cannot make fast enough.
double FastestStretch(double magnitude, bool sinusoid) {
  DeviceSet scratch;
  if (sinusoid) scratch.Flags |= kSetSinusoid;
  return CompileStretchPhase(scratch, kPitch, magnitude, 0.001);
}

TEST(SetEditorTest, OpensWithTheSetsValuesSelectionsAndCheckBoxes) {
  const SetEditorFields plain = OpenSetEditor(TestSet{});
  EXPECT_EQ(plain.function, 0);
  EXPECT_EQ(plain.time_unit, 0);
  EXPECT_EQ(plain.magnitude, "10");
  EXPECT_EQ(plain.stretch, "10");
  EXPECT_EQ(plain.recovery, "10");
  EXPECT_EQ(plain.hold, "0");
  EXPECT_EQ(plain.rest, "0");
  EXPECT_EQ(plain.repetitions, "1");
  EXPECT_FALSE(plain.do_not_stretch);
  EXPECT_FALSE(plain.do_not_recover);

  TestSet set;
  set.XFunction = ControlFunction::Sinusoid;
  set.TimeUnits = TimeUnit::Days;
  set.XMagnitude = 0.1;
  set.StretchDurationSec = 0.0;
  set.RecoveryDurationSec = -2.5;
  set.NumReps = 12;
  const SetEditorFields ticked = OpenSetEditor(set);
  EXPECT_EQ(ticked.function, 1);
  EXPECT_EQ(ticked.time_unit, 3);
  EXPECT_EQ(ticked.magnitude, "0.1");
  EXPECT_TRUE(ticked.do_not_stretch);
  EXPECT_TRUE(ticked.do_not_recover);
  EXPECT_EQ(ticked.stretch, "0");
  EXPECT_EQ(ticked.recovery, "0");
  EXPECT_EQ(ticked.repetitions, "12");

  // Functions and units the lists do not offer select nothing.
  for (const auto function :
       {ControlFunction::Strain, ControlFunction::Step, static_cast<ControlFunction>(-1)}) {
    set.XFunction = function;
    EXPECT_EQ(OpenSetEditor(set).function, kNoSelection);
  }
  for (const auto unit : {TimeUnit::MSeconds, TimeUnit::DSeconds, static_cast<TimeUnit>(9)}) {
    set.TimeUnits = unit;
    EXPECT_EQ(OpenSetEditor(set).time_unit, kNoSelection);
  }
}

TEST(SetEditorTest, DefaultSetIsAcceptedWithOnlyTheUnitChanged) {
  TestSet set;
  set.Name = "kept";
  set.YMagnitude = 3.5;
  const SetEditorResult result = AcceptSetEditor(OpenSetEditor(set), set, kLimits);
  ASSERT_EQ(result.outcome, Outcome::kAccepted) << result.message;
  TestSet expected = set;
  expected.XUnits = MeasureUnit::Millimetre;
  EXPECT_EQ(result.set, expected);
}

TEST(SetEditorTest, WritesTheSinglePrecisionValuesAndTheSelections) {
  const SetEditorFields typed = Typed([](SetEditorFields& f) {
    f.function = 1;
    f.time_unit = 1;
    f.magnitude = "0.1";
    f.stretch = "2.2";
    f.hold = "0.3";
    f.recovery = "1.7";
    f.rest = "4";
    f.repetitions = " 25 ";
  });
  const SetEditorResult result = AcceptSetEditor(typed, TestSet{}, kLimits);
  ASSERT_EQ(result.outcome, Outcome::kAccepted) << result.message;
  EXPECT_EQ(result.set.XFunction, ControlFunction::Sinusoid);
  EXPECT_EQ(result.set.TimeUnits, TimeUnit::Minutes);
  EXPECT_EQ(result.set.XMagnitude, static_cast<double>(0.1f));
  EXPECT_NE(result.set.XMagnitude, 0.1);
  EXPECT_EQ(result.set.StretchDurationSec, static_cast<double>(2.2f));
  EXPECT_EQ(result.set.HoldTimeSec, static_cast<double>(0.3f));
  EXPECT_EQ(result.set.RecoveryDurationSec, static_cast<double>(1.7f));
  EXPECT_EQ(result.set.RestTimeSec, 4.0);
  EXPECT_EQ(result.set.NumReps, 25);
}

TEST(SetEditorTest, CheckBoxesZeroTheirPhaseAndSkipItsChecks) {
  SetEditorFields fields = OpenSetEditor(TestSet{});
  SetDoNotStretch(fields, true);
  EXPECT_EQ(fields.stretch, "0");
  SetDoNotStretch(fields, false);
  EXPECT_EQ(fields.stretch, "0");  // left for the operator to fill in
  EXPECT_FALSE(fields.do_not_stretch);

  // A ticked phase is 0 whatever its disabled box holds: no minimum, no
  // velocity check, nothing but 0 written.
  SetDoNotStretch(fields, true);
  fields.stretch = "not read";
  fields.magnitude = "12";
  const SetEditorResult result = AcceptSetEditor(fields, TestSet{}, kLimits);
  ASSERT_EQ(result.outcome, Outcome::kAccepted) << result.message;
  EXPECT_EQ(result.set.StretchDurationSec, 0.0);
}

TEST(SetEditorTest, FailedChecksAreJoinedInTheirOrder) {
  const std::string kSlowest31 = Fixed6(31 * (4294967294.0 / 24e6));
  struct Case {
    const char* name;
    std::function<void(SetEditorFields&)> change;
    std::string errors;  // empty: accepted
  };
  const Case cases[] = {
      {"short stretch",
       [](SetEditorFields& f) {
         f.magnitude = "0";
         f.stretch = "0.005";
       },
       "Error:  Minimum non-zero Stretch duration = 0.01 S\n"},
      {"shortest stretch",
       [](SetEditorFields& f) {
         f.magnitude = "0";
         f.stretch = "0.01";
       },
       ""},
      {"short recovery",
       [](SetEditorFields& f) {
         f.magnitude = "0";
         f.recovery = "0.005";
       },
       "Error:  Minimum non-zero Recovery duration = 0.01 S\n"},
      {"rest, hold and repetitions",
       [](SetEditorFields& f) {
         f.rest = "-1";
         f.hold = "-1";
         f.repetitions = "0";
       },
       "Error:  Minimum Rest duration = 0.0 S\n"
       "Error:  Minimum Hold duration = 0.0 S\n"
       "Error:  Minimum Repetitions = 1\n"},
      {"negative repetitions", [](SetEditorFields& f) { f.repetitions = "-3"; },
       "Error:  Minimum Repetitions = 1\n"},
      {"magnitude at the limit", [](SetEditorFields& f) { f.magnitude = "15"; }, ""},
      {"magnitude over the limit", [](SetEditorFields& f) { f.magnitude = "15.01"; },
       "Error:  Maximum Stretch Magnitude = 15.0mm\n"},
      {"zero and negative magnitudes pass", [](SetEditorFields& f) { f.magnitude = "-4"; }, ""},
      {"accumulated stretch without recovery",
       [](SetEditorFields& f) {
         SetDoNotRecover(f, true);
         f.magnitude = "2";
         f.repetitions = "10";
       },
       "Error:  Maximum Accumulated Stretch Magnitude = 15.0mm\n"},
      {"accumulated stretch with recovery",
       [](SetEditorFields& f) {
         f.magnitude = "2";
         f.repetitions = "10";
       },
       ""},
      {"too fast both ways, the minimum and the limit",
       [](SetEditorFields& f) {
         f.magnitude = "20";
         f.stretch = "0.005";
         f.recovery = "0.1";
       },
       "Error:  Minimum non-zero Stretch duration = 0.01 S\n"
       "Error:  Maximum Stretch Velocity Exceeded.\n\tMinimum Duration = " +
           Fixed6(FastestStretch(20.0f, false)) +
           "\n"
           "Error:  Maximum Recovery Velocity Exceeded.\n\tMinimum Duration = " +
           Fixed6(FastestStretch(20.0f, false)) +
           "\n"
           "Error:  Maximum Stretch Magnitude = 15.0mm\n"},
      // 0.1 mm is 31 steps; a step period counts at most 2^32 - 1 ticks.
      {"slowest the step timer counts",
       [](SetEditorFields& f) {
         f.magnitude = "0.1";
         f.stretch = "5547";
         f.recovery = "5547";
       },
       ""},
      {"slower than the step timer counts, both ways",
       [](SetEditorFields& f) {
         f.time_unit = 2;
         f.magnitude = "0.1";
         f.stretch = "1.6";
         f.recovery = "2";
       },
       "Error:  Minimum Stretch Velocity Exceeded.\n\tMaximum Duration = " + kSlowest31 +
           "\n"
           "Error:  Minimum Recovery Velocity Exceeded.\n\tMaximum Duration = " +
           kSlowest31 + "\n"},
      // The image holds 2^32 - 1 hundredths of a second, 497.1 days.
      {"hold and rest the image holds",
       [](SetEditorFields& f) {
         f.time_unit = 3;
         SetDoNotStretch(f, true);
         SetDoNotRecover(f, true);
         f.hold = "498";
         f.rest = "497";
       },
       "Error:  Maximum Hold Duration Exceeded.\n\tMaximum Duration = 42949672.950000\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SetEditorResult result = AcceptSetEditor(Typed(c.change), TestSet{}, kLimits);
    if (c.errors.empty()) {
      EXPECT_EQ(result.outcome, Outcome::kAccepted) << result.message;
    } else {
      EXPECT_EQ(result.outcome, Outcome::kRefused);
      EXPECT_EQ(result.message, c.errors);
    }
  }
}

TEST(SetEditorTest, VelocityCheckAllowsFiveMillisecondsOverTheRequest) {
  const double fastest = FastestStretch(10.0, false);
  // The smallest stretch whose tolerance reaches the fastest movement, and the
  // one just below it.
  float passing = static_cast<float>(fastest - 0.005);
  while (static_cast<double>(passing) + 0.005 < fastest) passing = std::nextafter(passing, 1.0f);
  while (static_cast<double>(std::nextafter(passing, 0.0f)) + 0.005 >= fastest) {
    passing = std::nextafter(passing, 0.0f);
  }
  const float failing = std::nextafter(passing, 0.0f);
  for (const float stretch : {passing, failing}) {
    DeviceSet scratch;
    ASSERT_EQ(CompileStretchPhase(scratch, kPitch, 10.0, stretch), fastest);
  }

  auto with_stretch = [](float stretch) {
    return [stretch](SetEditorFields& f) {
      char text[32];
      std::snprintf(text, sizeof text, "%.9g", static_cast<double>(stretch));
      f.stretch = text;
      SetDoNotRecover(f, true);
    };
  };
  EXPECT_EQ(AcceptSetEditor(Typed(with_stretch(passing)), TestSet{}, kLimits).outcome,
            Outcome::kAccepted);
  const SetEditorResult refused = AcceptSetEditor(Typed(with_stretch(failing)), TestSet{}, kLimits);
  EXPECT_EQ(refused.message, "Error:  Maximum Stretch Velocity Exceeded.\n\tMinimum Duration = " +
                                 Fixed6(fastest) + "\n");
}

TEST(SetEditorTest, LengthsCountInTheSelectedUnit) {
  auto in_minutes = [](const char* stretch) {
    return Typed([stretch](SetEditorFields& f) {
      f.time_unit = 1;
      f.stretch = stretch;
    });
  };
  // 0.1 min is 6 s, slow enough; 0.1 s is not.
  EXPECT_EQ(AcceptSetEditor(in_minutes("0.1"), TestSet{}, kLimits).outcome, Outcome::kAccepted);
  EXPECT_NE(
      AcceptSetEditor(Typed([](SetEditorFields& f) { f.stretch = "0.1"; }), TestSet{}, kLimits)
          .message.find("Maximum Stretch Velocity Exceeded"),
      std::string::npos);
  // The minimum is 0.01 of the unit, whatever the message says.
  EXPECT_EQ(AcceptSetEditor(in_minutes("0.01"), TestSet{}, kLimits).outcome, Outcome::kAccepted);
  EXPECT_EQ(AcceptSetEditor(in_minutes("0.005"), TestSet{}, kLimits).message,
            "Error:  Minimum non-zero Stretch duration = 0.01 S\n");
}

TEST(SetEditorTest, SinusoidIsTimedAsASinusoid) {
  // Between the fastest ramp and the fastest half sine over 10 mm.
  ASSERT_LT(FastestStretch(10.0, false) + 0.005, 0.17);
  ASSERT_GT(FastestStretch(10.0, true), 0.17 + 0.005);
  auto typed = [](int function) {
    return Typed([function](SetEditorFields& f) {
      f.function = function;
      f.stretch = "0.17";
      SetDoNotRecover(f, true);
    });
  };
  EXPECT_EQ(AcceptSetEditor(typed(0), TestSet{}, kLimits).outcome, Outcome::kAccepted);
  EXPECT_EQ(AcceptSetEditor(typed(1), TestSet{}, kLimits).outcome, Outcome::kRefused);
}

TEST(SetEditorTest, StopsAtTheFirstFieldWithoutAValidEntry) {
  struct Case {
    const char* name;
    std::function<void(SetEditorFields&)> change;
    SetEditorField field;
    const char* prompt;
  };
  const Case cases[] = {
      {"magnitude", [](SetEditorFields& f) { f.magnitude = "12abc"; }, SetEditorField::Magnitude,
       "Enter a number."},
      {"empty recovery", [](SetEditorFields& f) { f.recovery = " "; }, SetEditorField::Recovery,
       "Enter a number."},
      {"fractional repetitions", [](SetEditorFields& f) { f.repetitions = "1.5"; },
       SetEditorField::Repetitions, "Enter a positive integer."},
      {"repetitions beyond the set's range",
       [](SetEditorFields& f) { f.repetitions = "4294967295"; }, SetEditorField::Repetitions,
       "Enter a positive integer."},
      {"rest", [](SetEditorFields& f) { f.rest = "1e"; }, SetEditorField::Rest, "Enter a number."},
      {"infinite hold", [](SetEditorFields& f) { f.hold = "inf"; }, SetEditorField::Hold,
       "Enter a number."},
      {"stretch beyond single precision", [](SetEditorFields& f) { f.stretch = "1e39"; },
       SetEditorField::Stretch, "Enter a number."},
      {"the first in reading order",
       [](SetEditorFields& f) {
         f.stretch = "x";
         f.rest = "-1";
         f.recovery = "y";
       },
       SetEditorField::Recovery, "Enter a number."},
      {"no function", [](SetEditorFields& f) { f.function = kNoSelection; },
       SetEditorField::Function, "Select a Control Function."},
      {"no time unit", [](SetEditorFields& f) { f.time_unit = kNoSelection; },
       SetEditorField::TimeUnit, "Select a Time Unit."},
      {"index past the list", [](SetEditorFields& f) { f.time_unit = 4; }, SetEditorField::TimeUnit,
       "Select a Time Unit."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SetEditorResult result = AcceptSetEditor(Typed(c.change), TestSet{}, kLimits);
    EXPECT_EQ(result.outcome, Outcome::kFieldError);
    EXPECT_EQ(result.field, c.field);
    EXPECT_EQ(result.message, c.prompt);
  }
}

TEST(SetEditorTest, SetFromAFileWithUnlistedFunctionIsNotWrittenUntilOneIsChosen) {
  TestSet set;
  set.XFunction = ControlFunction::Step;
  set.TimeUnits = TimeUnit::MSeconds;
  SetEditorFields fields = OpenSetEditor(set);
  EXPECT_EQ(AcceptSetEditor(fields, set, kLimits).outcome, Outcome::kFieldError);
  fields.function = 0;
  EXPECT_EQ(AcceptSetEditor(fields, set, kLimits).field, SetEditorField::TimeUnit);
  fields.time_unit = 0;
  const SetEditorResult result = AcceptSetEditor(fields, set, kLimits);
  ASSERT_EQ(result.outcome, Outcome::kAccepted);
  EXPECT_EQ(result.set.XFunction, ControlFunction::Ramp);
  EXPECT_EQ(result.set.TimeUnits, TimeUnit::Seconds);
}

}  // namespace
}  // namespace stravon
