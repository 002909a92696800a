// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/hardware_settings.h"

#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace stravon {
namespace {

HardwareSettings Example() {
  HardwareSettings settings;
  settings.MotorPitch = 0.003175f;
  settings.MinimumSpecimenSize = 10.0f;
  settings.TravelSoftLimit = 38.0f;
  settings.Stroke = -5000;
  settings.OffsetPosition = 629;
  settings.SeriesName = {'R', 0, 0, 0};
  settings.ModelNumber = 6;
  return settings;
}

std::vector<std::uint8_t> Bytes(const SettingsBlock& block, std::size_t at, std::size_t count) {
  return {block.begin() + static_cast<std::ptrdiff_t>(at),
          block.begin() + static_cast<std::ptrdiff_t>(at + count)};
}

TEST(HardwareSettingsTest, BlockLayoutAndByteOrder) {
  const SettingsBlock block = EncodeSettingsBlock(Example());
  using B = std::vector<std::uint8_t>;
  EXPECT_EQ(Bytes(block, 0, 4), (B{0xA9, 0x13, 0x50, 0x3B}));   // pitch, little-endian
  EXPECT_EQ(Bytes(block, 4, 4), (B{0x00, 0x00, 0x20, 0x41}));   // 10.0f
  EXPECT_EQ(Bytes(block, 8, 4), (B{0x00, 0x00, 0x18, 0x42}));   // 38.0f
  EXPECT_EQ(Bytes(block, 12, 4), (B{0x52, 0x00, 0x00, 0x00}));  // "R"
  EXPECT_EQ(Bytes(block, 16, 4), (B{0x06, 0x00, 0x00, 0x00}));  // model, little-endian
  EXPECT_EQ(Bytes(block, 20, 36), B(36, 0));                    // reserved
  EXPECT_EQ(Bytes(block, 56, 4), (B{0xFF, 0xFF, 0xEC, 0x78}));  // stroke, big-endian
  EXPECT_EQ(Bytes(block, 60, 4), (B{0x00, 0x00, 0x02, 0x75}));  // offset position

  EXPECT_EQ(DecodeSettingsBlock(block), Example());
  EXPECT_EQ(SeriesIndex(DecodeSettingsBlock(block), 0), 1);
}

TEST(HardwareSettingsTest, ReservedBytesAreIgnoredWhenRead) {
  SettingsBlock block = EncodeSettingsBlock(Example());
  for (std::size_t i = 20; i < 56; ++i) block[i] = 0xEE;
  EXPECT_EQ(DecodeSettingsBlock(block), Example());
}

TEST(HardwareSettingsTest, SeriesIndexFromTheFirstCharacter) {
  HardwareSettings settings;
  const struct {
    char first;
    int index;
  } cases[] = {{'P', 0}, {'R', 1}, {'W', 2}, {'X', 7}, {'p', 7}, {0, 7}};
  for (const auto& c : cases) {
    settings.SeriesName = {c.first, 0, 0, 0};
    EXPECT_EQ(SeriesIndex(settings, 7), c.index) << c.first;
  }
}

TEST(HardwareSettingsTest, ValidityBounds) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    float pitch;
    float minimum;
    float soft_limit;
    bool valid;
  } cases[] = {
      {0.003175f, 10.0f, 38.0f, true},
      {0.0f, 0.0f, 0.0f, false},  // a block of zeros: never programmed
      {0.003175f, 0.0f, 5.0f, true},
      {0.003175f, 200.0f, 43.0f, true},
      {0.015857f, 10.0f, 38.0f, true},  // the float lies just below the bound
      {0.00001f, 10.0f, 38.0f, false},  // and this one just below the lower bound
      {0.0159f, 10.0f, 38.0f, false},
      {0.003175f, -0.01f, 38.0f, false},
      {0.003175f, 200.01f, 38.0f, false},
      {0.003175f, 10.0f, 4.99f, false},
      {0.003175f, 10.0f, 43.01f, false},
      {nan, 10.0f, 38.0f, false},
      {0.003175f, 10.0f, nan, false},
  };
  for (const auto& c : cases) {
    HardwareSettings settings;
    settings.MotorPitch = c.pitch;
    settings.MinimumSpecimenSize = c.minimum;
    settings.TravelSoftLimit = c.soft_limit;
    EXPECT_EQ(SettingsAreValid(settings), c.valid)
        << c.pitch << " " << c.minimum << " " << c.soft_limit;
  }
}

TEST(HardwareSettingsTest, DerivedQuantities) {
  const HardwareSettings settings = Example();
  EXPECT_FLOAT_EQ(settings.ActuatorStroke(), 15.875f);
  EXPECT_FLOAT_EQ(settings.Offset(), 0.99695f);  // (629 - 315) steps
  EXPECT_FLOAT_EQ(settings.InitialSpecimenSize(), 10.99695f);
  EXPECT_EQ(settings.UnitPosition(12.0f), 315);  // 315.9 steps, floored
  EXPECT_EQ(settings.UnitPosition(10.9f), -31);  // -30.5, floored down
  EXPECT_DOUBLE_EQ(settings.OffsetShown(100), 414 * static_cast<double>(0.003175f));

  HardwareSettings extreme = settings;
  extreme.Stroke = std::numeric_limits<std::int32_t>::min();
  EXPECT_GT(extreme.ActuatorStroke(), 0.0f);
}

}  // namespace
}  // namespace stravon
