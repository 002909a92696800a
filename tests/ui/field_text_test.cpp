// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/field_text.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace stravon {
namespace {

TEST(FieldTextTest, ANumberFieldHoldsOneWholeFiniteNumber) {
  struct Case {
    const char* text;
    bool number;
    double value;
  };
  const Case cases[] = {
      {"12.5", true, 12.5},  {" -3 \t", true, -3.0}, {"+.5", true, 0.5}, {"5.", true, 5.0},
      {"1e-3", true, 0.001}, {"", false, 0},         {"  ", false, 0},   {"12abc", false, 0},
      {"1e", false, 0},      {"0x10", false, 0},     {"1,5", false, 0},  {"- 1", false, 0},
      {"+-1", false, 0},     {"inf", false, 0},      {"-nan", false, 0}, {"1e400", false, 0},
      {"1 2", false, 0},     {".", false, 0},        {"--1", false, 0},
  };
  for (const Case& c : cases) {
    double value = -99.0;
    EXPECT_EQ(ParseNumberField(c.text, value), c.number) << c.text;
    EXPECT_EQ(value, c.number ? c.value : -99.0) << c.text;
  }
}

TEST(FieldTextTest, SinglePrecisionFieldsRefuseWhatOverflowsAFloat) {
  float value = 0.0f;
  EXPECT_TRUE(ParseFloatField("3.4e38", value));
  EXPECT_FALSE(ParseFloatField("3.5e38", value));
  EXPECT_FALSE(ParseFloatField("-1e39", value));
  EXPECT_TRUE(ParseFloatField("0.1", value));
  EXPECT_EQ(value, 0.1f);
  EXPECT_EQ(NarrowToFloat(1e300), std::numeric_limits<float>::infinity());
  EXPECT_EQ(NarrowToFloat(-1e300), -std::numeric_limits<float>::infinity());
  EXPECT_EQ(NarrowToFloat(3.4028235e38), std::numeric_limits<float>::max());
}

TEST(FieldTextTest, IntegerFieldsHoldWholeIntegersInRange) {
  struct Case {
    const char* text;
    bool integer;
  };
  const Case cases[] = {
      {"7", true},    {" -2147483648 ", true}, {"+12", true}, {"2147483648", false},
      {"1.0", false}, {"1e3", false},          {"", false},   {"99999999999999999999999", false},
      {"- 3", false}};
  for (const Case& c : cases) {
    std::int64_t value = 0;
    EXPECT_EQ(ParseIntegerField(c.text, std::numeric_limits<std::int32_t>::min(),
                                std::numeric_limits<std::int32_t>::max(), value),
              c.integer)
        << c.text;
  }
}

TEST(FieldTextTest, ShowsTheGivenSignificantDigits) {
  EXPECT_EQ(FormatSignificant(10.0, 6), "10");
  EXPECT_EQ(FormatSignificant(1.0001249f, 6), "1.00012");
  EXPECT_EQ(FormatSignificant(0.003175f, 15), "0.00317499996162951");
  EXPECT_EQ(FormatSignificant(1234567.0, 6), "1.23457e+06");
}

}  // namespace
}  // namespace stravon
