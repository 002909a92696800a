// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/protocol_judgement.h"

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/enumerations.h"
#include "ui/finding_text.h"

namespace stravon {
namespace {

// Magnitude, stretch, recovery and repetitions; percent unless `unit` says.
TestSet Set(double magnitude, double stretch, double recovery, int reps = 1,
            MeasureUnit unit = MeasureUnit::Percent) {
  TestSet set;
  set.XUnits = unit;
  set.XMagnitude = magnitude;
  set.StretchDurationSec = stretch;
  set.RecoveryDurationSec = recovery;
  set.NumReps = reps;
  return set;
}

TestSet Mm(double magnitude, double stretch, double recovery, int reps = 1) {
  return Set(magnitude, stretch, recovery, reps, MeasureUnit::Millimetre);
}

template <typename Change>
TestSet With(TestSet set, Change change) {
  change(set);
  return set;
}

struct JudgementCase {
  const char* name;
  std::vector<TestSet> sets;
  float minimum_size;
  const char* refusal;                // null: the commit check passes
  std::vector<std::string> warnings;  // the start of each warning line, in order
};

void PrintTo(const JudgementCase& c, std::ostream* os) { *os << c.name; }

class ProtocolJudgementTest : public ::testing::TestWithParam<JudgementCase> {};

TEST_P(ProtocolJudgementTest, RefusesTheCommitAndWarnsOfTheEditorsChecks) {
  const JudgementCase& c = GetParam();
  HardwareSettings settings;
  settings.MotorPitch = 0.003175f;
  settings.TravelSoftLimit = 7.2f;
  settings.MinimumSpecimenSize = c.minimum_size;
  TestSequence sequence;
  sequence.sets = c.sets;

  const std::vector<Finding> findings = JudgeProtocol(sequence, settings);
  // The first refusal is what the commit's box shows; each warning is a line
  // of its set, in set order.
  std::string refusal;
  std::vector<std::string> lines;
  for (const Finding& f : findings) {
    std::string text = FindingText(f);
    if (f.severity == Severity::kRefuses) {
      if (refusal.empty()) refusal = text;
      continue;
    }
    ASSERT_TRUE(f.set.has_value());
    ASSERT_LT(*f.set, c.sets.size());
    while (!text.empty() && text.back() == '\n') text.pop_back();
    lines.push_back("Set " + std::to_string(*f.set + 1) + ": " + text);
  }
  EXPECT_EQ(Refuses(findings), c.refusal != nullptr);
  EXPECT_EQ(refusal, c.refusal ? c.refusal : "");
  EXPECT_EQ(Warns(findings), !lines.empty());
  ASSERT_EQ(lines.size(), c.warnings.size()) << ::testing::PrintToString(lines);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].substr(0, c.warnings[i].size()), c.warnings[i]);
  }
}

constexpr const char* kBeyondSoftLimit =
    "Error:  Maximum Stretch Position\nAcross All Sets Must Be Less Than 7.2mm\n";
constexpr const char* kBelowZero =
    "Error:  Minimum Stretch Position\nAcross All Sets Must Be Greater Than 0.0 mm\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, ProtocolJudgementTest,
    ::testing::Values(
        // A default set as protocol files keep it: 50 % of 10 mm moves 5.
        JudgementCase{"PercentWithin", {Set(50, 10, 10)}, 10.0f, nullptr, {}},
        // Stretched and recovered, it moves the position nowhere; the editor
        // would still not take 10 mm.
        JudgementCase{"PercentBeyondEditor",
                      {Set(50, 10, 10)},
                      20.0f,
                      nullptr,
                      {"Set 1: Error:  Maximum Stretch Magnitude = 7.2mm"}},
        JudgementCase{"PercentStretchingBeyond",
                      {Set(50, 10, 0)},
                      20.0f,
                      kBeyondSoftLimit,
                      {"Set 1: Error:  Maximum Stretch Magnitude = 7.2mm",
                       "Set 1: Error:  Maximum Accumulated Stretch Magnitude = 7.2mm"}},
        JudgementCase{"PercentRepeatedBeyond",
                      {Set(20, 10, 0, 2)},
                      20.0f,
                      kBeyondSoftLimit,
                      {"Set 1: Error:  Maximum Accumulated Stretch Magnitude = 7.2mm"}},
        JudgementCase{"PercentOfNothing",
                      {Set(1000, 10, 0), Mm(1, 10, 10)},
                      0.0f,
                      nullptr,
                      {"Set 1: Error:  Magnitude in Percent of a Minimum Specimen Size of 0 mm"}},
        JudgementCase{
            "PercentStretchMmRecover", {Set(50, 10, 0), Mm(6, 0, 10)}, 10.0f, kBelowZero, {}},
        JudgementCase{"TooFastOnly",
                      {Mm(1, 10, 10), Mm(7, 0.01, 10)},
                      0.0f,
                      nullptr,
                      {"Set 2: Error:  Maximum Stretch Velocity Exceeded.\n\tMinimum Duration = "}},
        JudgementCase{"SlowestJustInside", {Mm(0.1, 5547, 5547)}, 0.0f, nullptr, {}},
        JudgementCase{"SlowestJustBeyond",
                      {Mm(0.1, 5548, 5547)},
                      0.0f,
                      nullptr,
                      {"Set 1: Error:  Minimum Stretch Velocity Exceeded.\n\tMaximum Duration = "
                       "5547.666"}},
        // The phase that ran in 1.54 hours instead of 3.
        JudgementCase{"ThreeHours",
                      {With(Mm(0.1, 1, 3), [](TestSet& s) { s.TimeUnits = TimeUnit::Hours; })},
                      0.0f,
                      nullptr,
                      {"Set 1: Error:  Minimum Recovery Velocity Exceeded."}},
        // The image holds 4294967295 hundredths of a second.
        JudgementCase{"PausesJustInside",
                      {With(Mm(1, 10, 10),
                            [](TestSet& s) {
                              s.HoldTimeSec = 42949672;
                              s.RestTimeSec = 42949672;
                            })},
                      0.0f,
                      nullptr,
                      {}},
        // What the editor's fields or lists cannot hold stops its checks, as
        // the first field without a valid entry stops them when typed.
        JudgementCase{"MagnitudeBeyondSinglePrecision",
                      {Mm(1e300, 10, 10)},
                      0.0f,
                      nullptr,
                      {"Set 1: Stretch Magnitude: Enter a number."}},
        JudgementCase{"HoldNotANumber",
                      {With(Mm(1, 10, 10), [](TestSet& s) { s.HoldTimeSec = std::nan(""); })},
                      0.0f,
                      "Error:  Set 1: Durations Must Be Numbers of 0 or More\n",
                      {"Set 1: Hold Duration: Enter a number."}},
        JudgementCase{"FunctionNotOffered",
                      {With(Mm(1, 10, 10), [](TestSet& s) { s.XFunction = ControlFunction::Step; }),
                       With(Mm(1, 10, 10), [](TestSet& s) { s.TimeUnits = TimeUnit::MSeconds; })},
                      0.0f,
                      "Error:  Set 2: Time Unit Must Be Seconds, Minutes, Hours or Days\n",
                      {"Set 1: Control Function: Select a Control Function.",
                       "Set 2: Time Units: Select a Time Unit."}},
        JudgementCase{"PausesBeyond",
                      {With(Mm(1, 10, 10),
                            [](TestSet& s) {
                              s.HoldTimeSec = 42949676;
                              s.RestTimeSec = 1e9;
                            })},
                      0.0f,
                      nullptr,
                      {"Set 1: Error:  Maximum Hold Duration Exceeded.\n\tMaximum Duration = "
                       "42949672.950000",
                       "Set 1: Error:  Maximum Rest Duration Exceeded."}}),
    [](const ::testing::TestParamInfo<JudgementCase>& c) { return std::string(c.param.name); });

TEST(ProtocolJudgementTest, SetsAreJudgedInTheMillimetresTheUnitMoves) {
  HardwareSettings settings;
  settings.MinimumSpecimenSize = 12.5f;
  const TestSet percent = AsTheUnitRunsIt(Set(40, 10, 10), settings);
  EXPECT_EQ(percent.XUnits, MeasureUnit::Millimetre);
  EXPECT_DOUBLE_EQ(percent.XMagnitude, 40 * static_cast<double>(0.125f));
  const TestSet micrometres =
      AsTheUnitRunsIt(Set(40, 10, 10, 1, MeasureUnit::Micrometre), settings);
  EXPECT_EQ(micrometres.XMagnitude, 40.0);
}

}  // namespace
}  // namespace stravon
