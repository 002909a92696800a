// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/number_text.h"

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace stravon {
namespace {

// The C library, in the "C" locale the test starts in, is the reference.
TEST(NumberTextTest, LeadingDoubleReadsLikeAtof) {
  const char* const texts[] = {
      "2.5",
      "  -3.25abc",
      "+.5",
      "1e3x",
      "1e",
      "1e+",
      "-0",
      ".",
      "abc",
      "",
      "+-5",
      "--5",
      "- 5",
      "\t\n 7",
      "0x10",
      "0X1p3",
      "0x",
      "0xg",
      "-0x.8",
      "inf",
      "-Infinity",
      "nan",
      "NAN(12)",
      "1e400",
      "-1e400",
      "1e-400",
      "4.9e-324",
      "00012.50",
      "1,5",
      "5.",
      "1e-5",
      "123456789012345678901234567890",
      "0.000000000000000000000000000000000000001e-300",
  };
  for (const char* text : texts) {
    const double expected = std::atof(text);
    const double actual = ParseLeadingDouble(text);
    if (std::isnan(expected)) {
      EXPECT_TRUE(std::isnan(actual)) << text;
    } else {
      EXPECT_EQ(actual, expected) << text;
      EXPECT_EQ(std::signbit(actual), std::signbit(expected)) << text;
    }
  }
}

TEST(NumberTextTest, LeadingIntegerReadsLikeAtolWithin32Bits) {
  struct Case {
    const char* text;
    std::int32_t value;
  };
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
  const Case cases[] = {
      {"100", 100},
      {"  -7x", -7},
      {"+5", 5},
      {"1.9", 1},
      {"abc", 0},
      {"", 0},
      {"+-1", 0},
      {"2147483647", kMax},
      {"2147483648", kMax},
      {"-2147483648", kMin},
      {"-99999999999999999999", kMin},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseLeadingInteger(c.text), c.value) << c.text;
}

TEST(NumberTextTest, FormatsLikePrintf) {
  const double values[] = {
      10.0,    12.5,   0.001, 1e-05, 2e6,  1.0 / 3, -0.0, 100000,
      1234567, 0.0001, 1e300, -2.5,  0.05, 0.25,    0.35, std::numeric_limits<double>::infinity()};
  for (const double value : values) {
    char expected[512];
    std::snprintf(expected, sizeof expected, "%g", value);
    EXPECT_EQ(FormatGeneral(value), expected) << value;
    std::snprintf(expected, sizeof expected, "%.1f", value);
    EXPECT_EQ(FormatFixed(value, 1), expected) << value;
  }
}

// A process locale with a decimal comma must change neither direction.
TEST(NumberTextTest, IgnoresTheProcessLocale) {
  const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
  bool found = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (std::setlocale(LC_NUMERIC, name)) {
      found = true;
      break;
    }
  }
  if (!found) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const double parsed = ParseLeadingDouble("2.5");
  const std::string general = FormatGeneral(12.5);
  const std::string fixed = FormatFixed(0.5, 1);
  std::setlocale(LC_NUMERIC, previous.c_str());
  EXPECT_EQ(parsed, 2.5);
  EXPECT_EQ(general, "12.5");
  EXPECT_EQ(fixed, "0.5");
}

}  // namespace
}  // namespace stravon
