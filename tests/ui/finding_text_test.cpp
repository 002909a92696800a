// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/finding_text.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/hardware_settings.h"
#include "device/phase_compiler.h"

namespace stravon {
namespace {

// A finding whose text gives its limit (and range).
Finding Make(FindingRule rule, FindingField field = FindingField::kNone,
             std::optional<double> limit = std::nullopt,
             std::optional<double> lower = std::nullopt) {
  return MakeFinding(rule, field, 0.0, limit, lower);
}

Finding InSet(Finding finding, std::size_t set) {
  finding.set = set;
  return finding;
}

Finding OnLine(FindingRule rule, int line, const std::string& token,
               Instruction column = kNoColumn) {
  Finding finding = Make(rule);
  finding.line = line;
  finding.token = token;
  finding.column = column;
  return finding;
}

struct TextCase {
  const char* name;
  Finding finding;
  const char* text;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class FindingTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(FindingTextTest, GivesTheTextShownToday) {
  EXPECT_EQ(FindingText(GetParam().finding), GetParam().text);
}

using R = FindingRule;
using F = FindingField;

Finding ValueCount() {
  Finding finding = OnLine(R::kValueCount, 2, "");
  finding.value = 2;
  finding.limit = 3;
  return finding;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FindingTextTest,
    ::testing::Values(
        // Reading a file strictly.
        TextCase{"NoProtocol", Make(R::kNoProtocol),
                 "the file holds no protocol (not even a header)"},
        TextCase{"UnknownColumn", OnLine(R::kUnknownColumn, 1, "Magnitude"),
                 "line 1: unknown column \"Magnitude\""},
        TextCase{"RepeatedColumn", OnLine(R::kRepeatedColumn, 1, "NumReps", Instruction::NumReps),
                 "line 1: column \"NumReps\" appears twice"},
        TextCase{"ValueCount", ValueCount(), "line 2: 2 values for 3 columns"},
        TextCase{"InvalidValue", OnLine(R::kInvalidValue, 4, "2mm", Instruction::XMagnitude),
                 "line 4: \"2mm\" is not a valid XMagnitude"},
        // A set editor field without a valid entry, named as no field is focused.
        TextCase{"NotANumber", Make(R::kNotANumber, F::kMagnitude),
                 "Stretch Magnitude: Enter a number.\n"},
        TextCase{"NotAPositiveInteger", Make(R::kNotAPositiveInteger, F::kRepetitions),
                 "Repetitions: Enter a positive integer.\n"},
        TextCase{"NoFunction", Make(R::kSelectFunction, F::kFunction),
                 "Control Function: Select a Control Function.\n"},
        TextCase{"NoTimeUnit", Make(R::kSelectTimeUnit, F::kTimeUnit),
                 "Time Units: Select a Time Unit.\n"},
        // The set editor's checks.
        TextCase{"MinimumStretch", Make(R::kMinimumPhase, F::kStretch, 0.01f),
                 "Error:  Minimum non-zero Stretch duration = 0.01 S\n"},
        TextCase{"MinimumRecovery", Make(R::kMinimumPhase, F::kRecovery, 0.01f),
                 "Error:  Minimum non-zero Recovery duration = 0.01 S\n"},
        TextCase{"NegativeRest", Make(R::kNegativePause, F::kRest, 0.0),
                 "Error:  Minimum Rest duration = 0.0 S\n"},
        TextCase{"NegativeHold", Make(R::kNegativePause, F::kHold, 0.0),
                 "Error:  Minimum Hold duration = 0.0 S\n"},
        TextCase{"MinimumRepetitions", Make(R::kMinimumRepetitions, F::kRepetitions, 1.0),
                 "Error:  Minimum Repetitions = 1\n"},
        TextCase{"StretchTooFast", Make(R::kPhaseTooFast, F::kStretch, 0.2205),
                 "Error:  Maximum Stretch Velocity Exceeded.\n\tMinimum Duration = 0.220500\n"},
        TextCase{"RecoveryTooSlow", Make(R::kPhaseTooSlow, F::kRecovery, 5547.666),
                 "Error:  Minimum Recovery Velocity Exceeded.\n\tMaximum Duration = "
                 "5547.666000\n"},
        TextCase{"HoldTooLong", Make(R::kPauseTooLong, F::kHold, kLongestPauseSeconds),
                 "Error:  Maximum Hold Duration Exceeded.\n\tMaximum Duration = "
                 "42949672.950000\n"},
        TextCase{"MagnitudeBeyond", Make(R::kMagnitudeBeyondLimit, F::kMagnitude, 7.2f),
                 "Error:  Maximum Stretch Magnitude = 7.2mm\n"},
        TextCase{"AccumulatedBeyond", Make(R::kAccumulatedBeyondLimit, F::kMagnitude, 7.2f),
                 "Error:  Maximum Accumulated Stretch Magnitude = 7.2mm\n"},
        // The stage's commit check.
        TextCase{"NoSets", Make(R::kNoSets), "Please Specify a Test Sequence Before Executing"},
        TextCase{"ZeroLength", Make(R::kZeroLength),
                 "Error:  Test Sequence Must Be Greater Than 0 Seconds in Length"},
        TextCase{"PositionBeyond", Make(R::kPositionBeyondLimit, F::kNone, 7.2f),
                 "Error:  Maximum Stretch Position\nAcross All Sets Must Be Less Than 7.2mm\n"},
        TextCase{"PositionBelowZero", Make(R::kPositionBelowZero, F::kNone, 0.0),
                 "Error:  Minimum Stretch Position\nAcross All Sets Must Be Greater Than 0.0 "
                 "mm\n"},
        TextCase{"MemoryFull", Make(R::kMemoryFull, F::kNone, 100.0),
                 "Error:  Not Enough Memory Available\nReduce Number of Specified Sets\n"},
        TextCase{"RepetitionsBelowOne", InSet(Make(R::kRepetitionsBelowOne), 1),
                 "Error:  Set 2: Repetitions Must Be at Least 1\n"},
        TextCase{"DurationNotALength", InSet(Make(R::kDurationNotALength), 0),
                 "Error:  Set 1: Durations Must Be Numbers of 0 or More\n"},
        TextCase{"TimeUnitNotRun", InSet(Make(R::kTimeUnitNotRun), 0),
                 "Error:  Set 1: Time Unit Must Be Seconds, Minutes, Hours or Days\n"},
        TextCase{"MagnitudeNotANumber", InSet(Make(R::kMagnitudeNotANumber), 59),
                 "Error:  Set 60: Magnitude Must Be a Number\n"},
        // The hardware settings' checks.
        TextCase{
            "SeriesName",
            Make(R::kSeriesNameTooLong, F::kSeriesName, static_cast<double>(kMaximumSeriesLength)),
            "Error:  Maximum Series Name Length = 3 Characters\n"},
        TextCase{"SoftLimitAboveMaximum",
                 Make(R::kSoftLimitAboveMaximum, F::kTravelSoftLimit, kMaximumTravelSoftLimit),
                 "Error:  Maximum Travel Upper Limit Exceeded.\n\tMaximum Travel = 43.000000\n"},
        TextCase{"SoftLimitBelowMinimum",
                 Make(R::kSoftLimitBelowMinimum, F::kTravelSoftLimit, kMinimumTravelSoftLimit),
                 "Error:  Minimum Travel Soft Limit Not Reached.\n\tMinimum Travel = 5.000000\n"},
        TextCase{"SoftLimitBeyondStroke",
                 Make(R::kSoftLimitBeyondStroke, F::kTravelSoftLimit, 15.875f),
                 "Error:  Travel Soft Limit Exceeds the Actuator Stroke.\n\tMaximum Travel = "
                 "15.875000\n"},
        TextCase{
            "PitchRange",
            Make(R::kOutsideValidRange, F::kMotorPitch, kMaximumMotorPitch, kMinimumMotorPitch),
            "Error:  Motor Pitch Outside of Valid Range.\n\tValid Range = 0.00001 to "
            "0.015857\n"},
        TextCase{"StrokeRange",
                 Make(R::kOutsideValidRange, F::kActuatorStroke, 2147483648.0f * 0.003175f, 0.0),
                 "Error:  Actuator Stroke Outside of Valid Range.\n\tValid Range = more than 0 "
                 "to 6.81826e+06 mm\n"},
        TextCase{"OffsetRange", Make(R::kOutsideValidRange, F::kOffset, 15.875f, -15.875f),
                 "Error:  Offset Outside of Valid Range.\n\tValid Range = -15.875 to 15.875 mm\n"},
        TextCase{"OffsetWithoutStroke", Make(R::kOutsideValidRange, F::kOffset),
                 "Error:  Offset Outside of Valid Range.\n\tValid Range = within the actuator "
                 "stroke\n"},
        TextCase{"ModelRange",
                 Make(R::kOutsideValidRange, F::kModelNumber,
                      std::numeric_limits<std::int32_t>::max(), 0.0),
                 "Error:  Model Number Outside of Valid Range.\n\tValid Range = 0 to "
                 "2147483647\n"}),
    [](const ::testing::TestParamInfo<TextCase>& c) { return std::string(c.param.name); });

TEST(FindingTextTest, FieldPromptStandsAloneForAFocusedField) {
  EXPECT_EQ(FieldPrompt(Make(R::kNotANumber, F::kHold)), "Enter a number.");
  EXPECT_EQ(FieldPrompt(Make(R::kSelectTimeUnit, F::kTimeUnit)), "Select a Time Unit.");
}

TEST(FindingTextTest, FileFindingsShowTheFirstTenAndCountTheRest) {
  std::vector<Finding> findings;
  for (int line = 2; line <= 13; ++line) {
    findings.push_back(OnLine(R::kInvalidValue, line, "x", Instruction::NumReps));
  }
  const std::string text = FileFindingsText("p.tmt", findings);
  EXPECT_EQ(text.substr(0, text.find('\n')), "p.tmt is not a well-formed protocol file:");
  EXPECT_NE(text.find("\n  line 11: \"x\" is not a valid NumReps"), std::string::npos);
  EXPECT_EQ(text.find("line 12:"), std::string::npos);
  EXPECT_TRUE(text.ends_with("\n  and 2 more")) << text;
}

TEST(FindingTextTest, QuotedTokensShowNoControlBytesAndStayShort) {
  EXPECT_EQ(Quoted("2.5\x1B[2J"), "\"2.5\\x1B[2J\"");
  EXPECT_EQ(Quoted("a\"b\\"), "\"a\\x22b\\x5C\"");
  EXPECT_EQ(Quoted(std::string(30, '7')), "\"" + std::string(24, '7') + "\"... (30 bytes)");
}

}  // namespace
}  // namespace stravon
