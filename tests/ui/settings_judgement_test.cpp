// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings_judgement.h"

#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "ui/finding_text.h"

namespace stravon {
namespace {

constexpr float kPitch = 0.003175f;

// A P1 unit as it leaves the factory.
HardwareSettingsEntry P1() { return {"P1", 1, 1.0f, 7.2f, 15.875f, 0.003175}; }

struct JudgementCase {
  const char* name;
  void (*change)(HardwareSettingsEntry&);
  const char* errors;  // empty: acceptable
};

void PrintTo(const JudgementCase& c, std::ostream* os) { *os << c.name; }

class SettingsJudgementTest : public ::testing::TestWithParam<JudgementCase> {};

TEST_P(SettingsJudgementTest, RefusesWhatNoUnitShouldHold) {
  HardwareSettingsEntry entry = P1();
  GetParam().change(entry);
  EXPECT_EQ(FindingsText(JudgeHardwareSettings(entry, kPitch)), GetParam().errors);
}

constexpr const char* kSoftLimitBeyondStroke =
    "Error:  Travel Soft Limit Exceeds the Actuator Stroke.\n\tMaximum Travel = 15.875000\n";
constexpr const char* kOffset =
    "Error:  Offset Outside of Valid Range.\n\tValid Range = -15.875 to 15.875 mm\n";
constexpr const char* kStroke =
    "Error:  Actuator Stroke Outside of Valid Range.\n\tValid Range = more than 0 to 6.81826e+06 "
    "mm\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsJudgementTest,
    ::testing::Values(
        JudgementCase{"Factory", [](HardwareSettingsEntry&) {}, ""},
        JudgementCase{"SoftLimitAtStroke",
                      [](HardwareSettingsEntry& e) { e.travel_soft_limit = 15.875f; }, ""},
        JudgementCase{"SoftLimitBeyondStroke",
                      [](HardwareSettingsEntry& e) { e.travel_soft_limit = 15.9f; },
                      kSoftLimitBeyondStroke},
        // Beyond what any unit holds: that message alone.
        JudgementCase{"SoftLimitBeyond43",
                      [](HardwareSettingsEntry& e) { e.travel_soft_limit = 50.0f; },
                      "Error:  Maximum Travel Upper Limit Exceeded.\n\tMaximum Travel = "
                      "43.000000\n"},
        JudgementCase{"NegativeOffsetWithin", [](HardwareSettingsEntry& e) { e.offset = -0.5f; },
                      ""},
        JudgementCase{"OffsetAtStroke", [](HardwareSettingsEntry& e) { e.offset = -15.875f; }, ""},
        JudgementCase{"OffsetBeyondStroke", [](HardwareSettingsEntry& e) { e.offset = 100.0f; },
                      kOffset},
        JudgementCase{"NegativeOffsetBeyondStroke",
                      [](HardwareSettingsEntry& e) { e.offset = -16.0f; }, kOffset},
        JudgementCase{"ZeroStroke",
                      [](HardwareSettingsEntry& e) {
                        e.actuator_stroke = 0.0f;
                        e.offset = 0.0f;
                      },
                      "Error:  Travel Soft Limit Exceeds the Actuator Stroke.\n\tMaximum Travel = "
                      "0.000000\n"
                      "Error:  Actuator Stroke Outside of Valid Range.\n\tValid Range = more "
                      "than 0 to 6.81826e+06 mm\n"},
        // Saturates its 32-bit step count; the soft limit and offset are then
        // within it.
        JudgementCase{"HugeStroke", [](HardwareSettingsEntry& e) { e.actuator_stroke = 1e9f; },
                      kStroke},
        JudgementCase{"LargestStroke", [](HardwareSettingsEntry& e) { e.actuator_stroke = 6.8e6f; },
                      ""},
        // Exactly -2^31 steps: a count a unit does not take.
        JudgementCase{"StrokeOfTwoToTheThirtyOneSteps",
                      [](HardwareSettingsEntry& e) { e.actuator_stroke = 6818260.5f; }, kStroke},
        JudgementCase{"StrokeJustShortOfTwoToTheThirtyOneSteps",
                      [](HardwareSettingsEntry& e) { e.actuator_stroke = 6818260.0f; }, ""},
        JudgementCase{"NegativeModel", [](HardwareSettingsEntry& e) { e.model_number = -1; },
                      "Error:  Model Number Outside of Valid Range.\n\tValid Range = 0 to "
                      "2147483647\n"},
        JudgementCase{"ModelZero", [](HardwareSettingsEntry& e) { e.model_number = 0; }, ""},
        JudgementCase{"Everything",
                      [](HardwareSettingsEntry& e) {
                        e.series_name = "ABCD";
                        e.travel_soft_limit = 40.0f;
                        e.motor_pitch = 0.0;
                        e.offset = 20.0f;
                        e.model_number = -3;
                      },
                      "Error:  Maximum Series Name Length = 3 Characters\n"
                      "Error:  Travel Soft Limit Exceeds the Actuator Stroke.\n\tMaximum Travel = "
                      "15.875000\n"
                      "Error:  Motor Pitch Outside of Valid Range.\n\tValid Range = 0.00001 to "
                      "0.015857\n"
                      "Error:  Offset Outside of Valid Range.\n\tValid Range = -15.875 to 15.875 "
                      "mm\n"
                      "Error:  Model Number Outside of Valid Range.\n\tValid Range = 0 to "
                      "2147483647\n"}),
    [](const ::testing::TestParamInfo<JudgementCase>& c) { return std::string(c.param.name); });

TEST(SettingsStepsTest, FloorOfTheSinglePrecisionQuotient) {
  EXPECT_EQ(StrokeSteps(15.875f, kPitch), -5000);
  EXPECT_EQ(OffsetSteps(1.0f, kPitch), 629);   // floor(314.96 + 315)
  EXPECT_EQ(OffsetSteps(-0.5f, kPitch), 157);  // floor(-157.48 + 315)
  EXPECT_EQ(OffsetSteps(0.0f, kPitch), 315);
}

}  // namespace
}  // namespace stravon
