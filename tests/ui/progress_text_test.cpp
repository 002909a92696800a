// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/progress_text.h"

#include <limits>
#include <optional>
#include <string>
#include <utility>

#include <gtest/gtest.h>

namespace stravon {
namespace {

TEST(ProgressTextTest, WordsTheRemainingTime) {
  const std::pair<double, const char*> cases[] = {
      {0.4, "Less than a second"},
      {1.7, "1 second remaining"},
      {59.9, "59 seconds remaining"},
      {60.0, "1 minute, 0 seconds remaining"},
      {125.5, "2 minutes, 5 seconds remaining"},
      {3661.0, "61 minutes, 1 second remaining"},
      // Estimates nobody should see, but never undefined.
      {-3.0, "Less than a second"},
      {std::numeric_limits<double>::infinity(), "16666666 minutes, 40 seconds remaining"},
  };
  for (const auto& [seconds, text] : cases) {
    EXPECT_EQ(TimeRemainingText(seconds), text) << seconds;
  }
}

TEST(ProgressTextTest, EstimatesOnlyPastTwoPercent) {
  EXPECT_EQ(RemainingTimeEstimate(0.02, 1.0), std::nullopt);
  EXPECT_EQ(RemainingTimeEstimate(0.0, 0.0), std::nullopt);
  // After 10 s at 25 %: three times as long again.
  EXPECT_EQ(RemainingTimeEstimate(0.25, 10.0), std::optional<std::string>("30 seconds remaining"));
}

TEST(ProgressTextTest, SaysHowLongTheUnitHasBeenSilent) {
  struct Case {
    double fraction;
    double silent_seconds;
    std::optional<std::string> text;
  };
  const Case cases[] = {
      {0.25, 0.5, "30 seconds remaining"},
      {0.25, 1.0, "30 seconds remaining"},  // a second is still an answer on its way
      {0.25, 1.2, "Waiting for the unit: 1 s"},
      {0.14, 5.9, "Waiting for the unit: 5 s"},
      {0.14, 125.0, "Waiting for the unit: 125 s"},
      // Silent from the first byte on: there is no estimate to fall back to.
      {0.0, 3.0, "Waiting for the unit: 3 s"},
      {0.0, 0.2, std::nullopt},
      // A clock that went backwards is no silence.
      {0.25, -4.0, "30 seconds remaining"},
      {0.25, std::numeric_limits<double>::quiet_NaN(), "30 seconds remaining"},
      {0.25, std::numeric_limits<double>::infinity(), "Waiting for the unit: 1000000000 s"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgressBarText(c.fraction, 10.0, c.silent_seconds), c.text)
        << c.fraction << " " << c.silent_seconds;
  }
}

}  // namespace
}  // namespace stravon
