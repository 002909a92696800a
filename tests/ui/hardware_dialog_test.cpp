// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/hardware_dialog.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "ui/settings_store.h"

namespace stravon {
namespace {

using Outcome = HardwareProgramResult::Outcome;

HardwareSettings Unit(const char* series = "P1", std::int32_t model = 1) {
  HardwareSettings settings;
  settings.MotorPitch = 0.003175f;
  settings.TravelSoftLimit = 7.2f;
  settings.Stroke = -5000;
  settings.OffsetPosition = 630;
  std::strncpy(settings.SeriesName.data(), series, 3);
  settings.ModelNumber = model;
  return settings;
}

std::string Series(const HardwareSettings& settings) { return settings.SeriesName.data(); }

class HardwareDialogTest : public ::testing::Test {
 protected:
  MemorySettingsStore store_;
};

TEST_F(HardwareDialogTest, FactoryAccessIsReadAndWrittenBack) {
  {
    const HardwareDialog dialog(Unit(), store_);
    EXPECT_FALSE(dialog.FactoryAccess());
    EXPECT_TRUE(store_.Contains(kSettingsSection, kFactoryAccessValue));
    EXPECT_EQ(store_.ReadInteger(kSettingsSection, kFactoryAccessValue, -1), 0);
  }
  for (const std::int32_t value : {1, 7, -1}) {
    store_.WriteInteger(kSettingsSection, kFactoryAccessValue, value);
    EXPECT_TRUE(HardwareDialog(Unit(), store_).FactoryAccess()) << value;
    EXPECT_EQ(store_.ReadInteger(kSettingsSection, kFactoryAccessValue, 0), value);
  }
}

TEST_F(HardwareDialogTest, ShowsTheUnitsValuesInMillimetres) {
  const HardwareDialog dialog(Unit(), store_);
  const HardwareDialogFields fields = dialog.Fields();
  EXPECT_EQ(fields.series_name, "P1");
  EXPECT_EQ(fields.model_number, "1");
  EXPECT_EQ(fields.offset, "1.00012");
  EXPECT_EQ(fields.travel_soft_limit, "7.2");
  EXPECT_EQ(fields.actuator_stroke, "15.875");
  EXPECT_EQ(fields.motor_pitch, "0.00317499996162951");
}

TEST_F(HardwareDialogTest, ProgramConvertsWithTheUnitsPitch) {
  HardwareDialog dialog(Unit(), store_);
  HardwareDialogFields typed = dialog.Fields();
  typed.series_name = "R6";
  typed.model_number = "6";
  typed.offset = "1.0";
  typed.travel_soft_limit = "25";
  typed.actuator_stroke = "28";
  // The typed pitch is posted but converts nothing: steps follow the pitch
  // the unit holds until it is programmed.
  typed.motor_pitch = "0.0025";
  HardwareProgramResult result = dialog.Program(typed);
  ASSERT_EQ(result.outcome, Outcome::kPost) << result.message;
  EXPECT_EQ(result.settings.MotorPitch, 0.0025f);
  EXPECT_EQ(result.settings.MinimumSpecimenSize, 0.0f);
  EXPECT_EQ(result.settings.TravelSoftLimit, 25.0f);
  EXPECT_EQ(Series(result.settings), "R6");
  EXPECT_EQ(result.settings.SeriesName[3], '\0');
  EXPECT_EQ(result.settings.ModelNumber, 6);
  EXPECT_EQ(result.settings.Stroke, -8819);        // floor(-8818.9)
  EXPECT_EQ(result.settings.OffsetPosition, 629);  // floor(314.96 + 315)

  typed.offset = "-0.5";
  result = dialog.Program(typed);
  EXPECT_EQ(result.settings.OffsetPosition, 157);  // floor(-157.48 + 315)
  EXPECT_TRUE(SettingsAreValid(result.settings));
}

// No field shows the minimum specimen size: it is programmed as the unit
// holds it, whatever else changed.
TEST_F(HardwareDialogTest, ProgramKeepsTheMinimumSpecimenSize) {
  HardwareSettings unit = Unit();
  unit.MinimumSpecimenSize = 200.0f;
  HardwareDialog dialog(unit, store_);
  HardwareDialogFields typed = dialog.Fields();
  typed.travel_soft_limit = "6.5";
  EXPECT_EQ(dialog.Program(typed).settings.MinimumSpecimenSize, 200.0f);
  EXPECT_EQ(dialog.Program(dialog.RestoreDefaults()).settings.MinimumSpecimenSize, 200.0f);
}

TEST_F(HardwareDialogTest, ProgramRefusesWhatTheUnitWouldRefuseOnTheNextRead) {
  struct Case {
    const char* series;
    const char* soft_limit;
    const char* pitch;
    std::string errors;  // empty: posted
  };
  const std::string upper =
      "Error:  Maximum Travel Upper Limit Exceeded.\n\tMaximum Travel = 43.000000\n";
  const std::string lower =
      "Error:  Minimum Travel Soft Limit Not Reached.\n\tMinimum Travel = 5.000000\n";
  const std::string series = "Error:  Maximum Series Name Length = 3 Characters\n";
  const std::string pitch =
      "Error:  Motor Pitch Outside of Valid Range.\n\tValid Range = 0.00001 to 0.015857\n";
  const Case cases[] = {
      {"P1", "43", "0.003175", ""},
      {"P1", "5", "0.003175", ""},
      {"P1", "43.01", "0.003175", upper},
      {"P1", "4.99", "0.003175", lower},
      {"P1", "0", "0.003175", lower},
      {"P1", "-7", "0.003175", lower},
      {"", "7.2", "0.003175", ""},
      {"ABC", "7.2", "0.003175", ""},
      {"ABCD", "7.2", "0.003175", series},
      {"P1", "7.2", "0.015857", ""},
      {"P1", "7.2", "0.0158571", pitch},
      // The float nearest 0.00001 lies just below it.
      {"P1", "7.2", "0.00001", pitch},
      {"P1", "7.2", "0.0000100001", ""},
      {"P1", "7.2", "0", pitch},
      {"WXYZ", "50", "-1", series + upper + pitch},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.series) + " " + c.soft_limit + " " + c.pitch);
    HardwareDialog dialog(Unit(), store_);
    HardwareDialogFields typed = dialog.Fields();
    typed.series_name = c.series;
    typed.travel_soft_limit = c.soft_limit;
    typed.actuator_stroke = "43";
    typed.motor_pitch = c.pitch;
    const HardwareProgramResult result = dialog.Program(typed);
    if (c.errors.empty()) {
      EXPECT_EQ(result.outcome, Outcome::kPost) << result.message;
      EXPECT_TRUE(SettingsAreValid(result.settings));
      EXPECT_EQ(Series(result.settings), c.series);
    } else {
      EXPECT_EQ(result.outcome, Outcome::kRefused);
      EXPECT_EQ(result.message, c.errors);
    }
  }
}

TEST_F(HardwareDialogTest, ProgramStopsAtAFieldThatHoldsNoNumber) {
  struct Case {
    HardwareDialogField field;
    std::string HardwareDialogFields::*member;
    const char* text;
    const char* prompt;
  };
  const Case cases[] = {
      {HardwareDialogField::ModelNumber, &HardwareDialogFields::model_number, "1.5",
       "Enter an integer."},
      {HardwareDialogField::ModelNumber, &HardwareDialogFields::model_number, "3000000000",
       "Enter an integer."},
      {HardwareDialogField::Offset, &HardwareDialogFields::offset, "", "Enter a number."},
      {HardwareDialogField::TravelSoftLimit, &HardwareDialogFields::travel_soft_limit, "7,2",
       "Enter a number."},
      {HardwareDialogField::ActuatorStroke, &HardwareDialogFields::actuator_stroke, "nan",
       "Enter a number."},
      {HardwareDialogField::MotorPitch, &HardwareDialogFields::motor_pitch, "0.003mm",
       "Enter a number."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    HardwareDialog dialog(Unit(), store_);
    HardwareDialogFields typed = dialog.Fields();
    typed.*c.member = c.text;
    const HardwareProgramResult result = dialog.Program(typed);
    EXPECT_EQ(result.outcome, Outcome::kFieldError);
    EXPECT_EQ(result.field, c.field);
    EXPECT_EQ(result.message, c.prompt);
  }
}

TEST_F(HardwareDialogTest, RestoreDefaultsFollowsTheHeldSeries) {
  struct Case {
    const char* series;
    std::int32_t model;
    HardwareDialogFields expected;
  };
  const Case cases[] = {
      {"P", 3, {"P1", "1", "0", "7.2", "15.875", "0.00317499996162951"}},
      {"P1", 3, {"P1", "1", "0", "7.2", "15.875", "0.00317499996162951"}},
      {"R", 1, {"R6", "6", "0", "25", "28", "0.00317499996162951"}},
      {"R6", 6, {"R6", "6", "0", "25", "28", "0.00317499996162951"}},
      {"W", 2, {"WZ", "2", "0", "14", "14", "0.000396875"}},
      {"WZ", 2, {"WZ", "2", "0", "14", "14", "0.000396875"}},
      {"WZ", 5, {"WZ", "1", "0", "14", "14", "0.00317499996162951"}},
      // Case matters, and an unknown series keeps everything.
      {"p1", 3, {"p1", "3", "1.00012", "7.2", "15.875", "0.00317499996162951"}},
      {"X", 3, {"X", "3", "1.00012", "7.2", "15.875", "0.00317499996162951"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.series) + " " + std::to_string(c.model));
    HardwareDialog dialog(Unit(c.series, c.model), store_);
    EXPECT_EQ(dialog.RestoreDefaults(), c.expected);
  }
}

TEST_F(HardwareDialogTest, RestoreDefaultsWorksOnHeldValuesNotOnTyping) {
  HardwareDialog dialog(Unit("X", 4), store_);
  HardwareDialogFields typed = dialog.Fields();
  typed.series_name = "R6";
  typed.offset = "2.5";
  // Nothing was read: the typed series and offset are lost.
  EXPECT_EQ(dialog.RestoreDefaults(),
            (HardwareDialogFields{"X", "4", "1.00012", "7.2", "15.875", "0.00317499996162951"}));

  // A refused Program still takes the fields read before the bad one.
  typed.travel_soft_limit = "??";
  ASSERT_EQ(dialog.Program(typed).outcome, Outcome::kFieldError);
  EXPECT_EQ(dialog.RestoreDefaults().series_name, "R6");
}

TEST_F(HardwareDialogTest, RestoredPitchIsPostedInSinglePrecision) {
  HardwareDialog dialog(Unit("W", 2), store_);
  const HardwareProgramResult result = dialog.Program(dialog.RestoreDefaults());
  ASSERT_EQ(result.outcome, Outcome::kPost) << result.message;
  EXPECT_EQ(result.settings.MotorPitch, static_cast<float>(0.000396875));
  EXPECT_EQ(Series(result.settings), "WZ");
  EXPECT_EQ(result.settings.OffsetPosition, 315);
  EXPECT_EQ(result.settings.TravelSoftLimit, 14.0f);
  // 14 mm in steps of the pitch the unit still holds.
  EXPECT_EQ(result.settings.Stroke, -4410);
}

// The fields show six digits; read back, 1.00012 mm would be step 629.
TEST_F(HardwareDialogTest, ValuesNotChangedArePostedAsTheUnitHoldsThem) {
  HardwareDialog dialog(Unit(), store_);
  HardwareDialogFields typed = dialog.Fields();
  typed.travel_soft_limit = "7";
  HardwareProgramResult result = dialog.Program(typed);
  ASSERT_EQ(result.outcome, Outcome::kPost) << result.message;
  EXPECT_EQ(result.settings.OffsetPosition, 630);
  EXPECT_EQ(result.settings.Stroke, -5000);
  EXPECT_EQ(result.settings.MotorPitch, 0.003175f);
  EXPECT_EQ(result.settings.TravelSoftLimit, 7.0f);

  // Programmed again with the same texts: still the same.
  result = dialog.Program(typed);
  EXPECT_EQ(result.settings.OffsetPosition, 630);

  // A field typed over converts, even back to the text shown at first.
  typed.offset = "1";
  EXPECT_EQ(dialog.Program(typed).settings.OffsetPosition, 629);
  typed.offset = "1.00012";
  EXPECT_EQ(dialog.Program(typed).settings.OffsetPosition, 629);

  // Restored defaults are values of their own.
  HardwareDialog restored(Unit(), store_);
  result = restored.Program(restored.RestoreDefaults());
  ASSERT_EQ(result.outcome, Outcome::kPost) << result.message;
  EXPECT_EQ(result.settings.OffsetPosition, 315);
}

}  // namespace
}  // namespace stravon
