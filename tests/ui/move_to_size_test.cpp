// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/move_to_size.h"

#include <gtest/gtest.h>

namespace stravon {
namespace {

using Outcome = MoveToSizeResult::Outcome;

HardwareSettings Unit(float minimum_size = 0.0f) {
  HardwareSettings settings;
  settings.MotorPitch = 0.003175f;
  settings.MinimumSpecimenSize = minimum_size;
  settings.TravelSoftLimit = 7.2f;
  settings.OffsetPosition = 630;
  return settings;
}

TEST(MoveToSizeTest, OpensWithValuesRoundedToHundredths) {
  EXPECT_EQ(OpenMoveToSize(1.000125, Unit()), (MoveToSizeFields{"1", "0", "7.2"}));
  EXPECT_EQ(OpenMoveToSize(2.346, Unit(0.126f)), (MoveToSizeFields{"2.35", "0.13", "7.33"}));
  EXPECT_EQ(OpenMoveToSize(-0.004, Unit(0.004f)), (MoveToSizeFields{"0", "0", "7.2"}));
}

TEST(MoveToSizeTest, AcceptsSizesWithinTheShownBoundsOnly) {
  struct Case {
    const char* new_size;
    Outcome outcome;
  };
  const Case cases[] = {
      {"0", Outcome::kMove},        {"7.2", Outcome::kMove},     {" 3.5 ", Outcome::kMove},
      {"-0.01", Outcome::kRefused}, {"7.21", Outcome::kRefused}, {"7.2x", Outcome::kFieldError},
      {"", Outcome::kFieldError},
  };
  const MoveToSizeFields shown = OpenMoveToSize(1.000125, Unit());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.new_size);
    MoveToSizeFields typed = shown;
    typed.new_size = c.new_size;
    const MoveToSizeResult result = AcceptMoveToSize(typed, Unit());
    EXPECT_EQ(result.outcome, c.outcome);
    if (c.outcome == Outcome::kRefused) {
      EXPECT_EQ(result.message, "Error:  New Size Outside of Valid Range\n");
    }
    if (c.outcome == Outcome::kFieldError) {
      EXPECT_EQ(result.message, "Enter a number.");
    }
  }
}

TEST(MoveToSizeTest, TargetCountsStepsFromTheInitialSpecimenSize) {
  // Offset position 630 puts the initial specimen size at 1.000125 mm.
  const struct {
    const char* new_size;
    std::int32_t target;
  } cases[] = {{"5", 1259}, {"0", -315}, {"1.000125", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.new_size);
    const MoveToSizeResult result = AcceptMoveToSize({c.new_size, "0", "7.2"}, Unit());
    ASSERT_EQ(result.outcome, Outcome::kMove);
    EXPECT_EQ(result.target, c.target);
  }
}

}  // namespace
}  // namespace stravon
