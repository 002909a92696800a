// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/enumerations.h"

#include <cstdint>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace stravon {
namespace {

template <typename E>
std::int32_t Raw(E value) {
  return static_cast<std::int32_t>(value);
}

// Names of every table value are covered by the file round-trip; here the
// awkward ones: the order of ControlFunction, the edges and invalid values.
TEST(EnumerationNamesTest, ValuesAndInvalidValues) {
  EXPECT_EQ(ControlModeName(ControlMode::Force), "Force");
  EXPECT_EQ(ControlModeName(static_cast<ControlMode>(2)), "InvalidMode");
  EXPECT_EQ(ControlFunctionName(static_cast<ControlFunction>(3)), "Step");
  EXPECT_EQ(ControlFunctionName(static_cast<ControlFunction>(-1)), "InvalidFunction");
  EXPECT_EQ(ControlFunctionName(static_cast<ControlFunction>(7)), "InvalidFunction");
  EXPECT_EQ(PreloadTypeName(PreloadType::Every), "Every");
  EXPECT_EQ(PreloadTypeName(static_cast<PreloadType>(3)), "InvalidPreloadType");
  EXPECT_EQ(MeasureUnitName(MeasureUnit::Percent), "%");
  EXPECT_EQ(MeasureUnitName(MeasureUnit::Newton), "N");
  EXPECT_EQ(MeasureUnitName(static_cast<MeasureUnit>(6)), "InvalidUnits");
  EXPECT_EQ(TimeUnitName(TimeUnit::DSeconds), "dSeconds");
  EXPECT_EQ(TimeUnitName(static_cast<TimeUnit>(6)), "InvalidMode");
  EXPECT_EQ(DataFrequencyName(DataFrequency::Hz0_001), "0.001");
  EXPECT_EQ(DataFrequencyName(static_cast<DataFrequency>(11)), "InvalidDataFrequency");
  EXPECT_EQ(ImageFrequencyName(ImageFrequency::Hz0), "0");
  EXPECT_EQ(ImageFrequencyName(static_cast<ImageFrequency>(9)), "InvalidImageFrequency");
  EXPECT_EQ(InstructionName(Instruction::TimeUnits), "TimeUnits");
  EXPECT_EQ(InstructionName(static_cast<Instruction>(29)), "InvalidInstruction");
  EXPECT_EQ(InstructionName(static_cast<Instruction>(-1)), "InvalidInstruction");
}

TEST(EnumerationNamesTest, TimeUnitShortNamesAndSeconds) {
  struct Case {
    std::int32_t unit;
    std::string_view short_name;
    double seconds;
  };
  const Case cases[] = {{0, "S", 1},           {1, "m", 60},          {2, "h", 3600},
                        {3, "d", 86400},       {4, "mS", 0.001},      {5, "dS", 0.1},
                        {6, "InvalidMode", 1}, {7, "InvalidMode", 1}, {-1, "InvalidMode", 1}};
  for (const Case& c : cases) {
    const auto unit = static_cast<TimeUnit>(c.unit);
    EXPECT_EQ(TimeUnitShortName(unit), c.short_name) << c.unit;
    EXPECT_EQ(SecondsPerTimeUnit(unit), c.seconds) << c.unit;
  }
}

TEST(EnumerationFromNameTest, CaseInsensitiveWholeText) {
  struct Case {
    std::string_view text;
    std::int32_t function;
  };
  const Case cases[] = {
      {"sinusoid", 4}, {"SinusOid", 4},   {"SINUSOID", 4}, {"Step", 3},
      {"Sinus", -1},   {"Sinusoids", -1}, {" Ramp", -1},   {"", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(Raw(ControlFunctionFromName(c.text)), c.function) << c.text;

  EXPECT_EQ(ControlModeFromName("fOrCe"), ControlMode::Force);
  EXPECT_EQ(PreloadTypeFromName("every"), PreloadType::Every);
  EXPECT_EQ(Raw(PreloadTypeFromName("InvalidPreloadType")), -1);
  EXPECT_EQ(TimeUnitFromName("MSECONDS"), TimeUnit::MSeconds);
  EXPECT_EQ(Raw(TimeUnitFromName("S")), -1) << "short names do not convert back";
  EXPECT_EQ(InstructionFromName("stretchdurationsec"), Instruction::StretchDurationSec);
  EXPECT_EQ(Raw(InstructionFromName("Comment")), -1);
  // Only ASCII letters fold: a byte of another character set must match as is.
  EXPECT_EQ(Raw(ControlModeFromName("D\xC4sp")), -1);
  // A text of any length is safe and matches nothing.
  EXPECT_EQ(Raw(InstructionFromName(std::string(5000, 'X'))), -1);
}

TEST(EnumerationFromNameTest, MeasureUnitIsCaseSensitive) {
  struct Case {
    std::string_view text;
    std::int32_t unit;
  };
  const Case cases[] = {{"%", 0}, {"um", 1},  {"mN", 2}, {"uN", 3},  {"mm", 4},
                        {"N", 5}, {"MM", -1}, {"n", -1}, {"UM", -1}, {"", -1}};
  for (const Case& c : cases) EXPECT_EQ(Raw(MeasureUnitFromName(c.text)), c.unit) << c.text;
}

TEST(EnumerationFromNameTest, FrequenciesMatchTheLeadingNumber) {
  struct Case {
    std::string_view text;
    std::int32_t data;
    std::int32_t image;
  };
  const Case cases[] = {
      {"100", 0, -1}, {"60", 1, 0},   {"25", 2, -1},      {"30", 2, 1},  {"2.5", 5, -1},
      {"10", 4, 3},   {"5", 5, 3},    {"1", 6, 4},        {"0.1", 7, 5}, {"0.001", 9, 7},
      {"0", 10, 8},   {"abc", 10, 8}, {"", 10, 8},        {"1Hz", 6, 4}, {"1e2", 0, -1},
      {"7", -1, -1},  {"-1", -1, -1}, {"0.0011", -1, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Raw(DataFrequencyFromName(c.text)), c.data) << c.text;
    EXPECT_EQ(Raw(ImageFrequencyFromName(c.text)), c.image) << c.text;
  }
}

}  // namespace
}  // namespace stravon
