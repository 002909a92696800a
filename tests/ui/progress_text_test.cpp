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

}  // namespace
}  // namespace stravon
