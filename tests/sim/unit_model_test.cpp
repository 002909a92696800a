// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/unit_model.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/hardware_settings.h"
#include "tests/support/test_settings.h"

namespace stravon::sim {
namespace {

using namespace std::chrono_literals;
using Clock = UnitModel::Clock;

// Drives the model at chosen moments: motion is followed without waiting.
class UnitModelTest : public ::testing::Test {
 protected:
  std::string At(Clock::duration when, const std::string& command) {
    bool committed = false;
    return model_.Execute(Classify(command).kind, command, start_ + when, &committed);
  }
  std::int32_t PositionAt(Clock::duration when) const { return model_.Position(start_ + when); }
  bool MovingAt(Clock::duration when) const { return model_.IsMoving(start_ + when); }

  UnitModel model_{UnitOptions{}};
  const Clock::time_point start_ = Clock::now();
};

TEST(DefaultSettingsBlock, HoldsFactorySettingsInTheirByteOrders) {
  const auto block = DefaultSettingsBlock();
  const std::vector<std::uint8_t> pitch(block.begin(), block.begin() + 4);
  const std::vector<std::uint8_t> series(block.begin() + 12, block.begin() + 20);
  const std::vector<std::uint8_t> tail(block.begin() + 56, block.end());
  EXPECT_EQ(pitch, (std::vector<std::uint8_t>{0xA9, 0x13, 0x50, 0x3B}));
  EXPECT_EQ(series, (std::vector<std::uint8_t>{'P', '1', 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(tail, (std::vector<std::uint8_t>{0xFF, 0xFF, 0xEC, 0x78, 0x00, 0x00, 0x02, 0x76}));
  for (int i = 20; i < 56; ++i) EXPECT_EQ(block[i], 0) << i;
}

// The tests take the simulated unit's factory calibration from the named
// test settings; the two must not drift apart.
TEST(DefaultSettingsBlock, IsTheFactoryTestSettings) {
  const auto block = DefaultSettingsBlock();
  SettingsBlock settings_block{};
  std::copy(block.begin(), block.end(), settings_block.begin());
  EXPECT_EQ(DecodeSettingsBlock(settings_block), test_support::FactorySettings());
}

TEST_F(UnitModelTest, JogStopsAtTheLimitAndReversesAwayFromIt) {
  // Towards larger positions at 24,000,000 / 64,000 = 375 steps per second.
  for (const char* command : {"0P 1 -415 2052", "0d 1", "0v 64000", "0G"}) {
    ASSERT_EQ(At(0s, command), "OK\r") << command;
  }
  EXPECT_EQ(PositionAt(2s), 750);
  EXPECT_TRUE(MovingAt(2s));
  EXPECT_EQ(At(10s, "0?S"), "2052\r");
  EXPECT_FALSE(MovingAt(10s));
  // The jog is still on: reversing it leaves the limit; Stop holds the position.
  ASSERT_EQ(At(10s, "0d 0"), "OK\r");
  EXPECT_EQ(PositionAt(11s), 2052 - 375);
  ASSERT_EQ(At(11s, "0S"), "OK\r");
  EXPECT_EQ(PositionAt(20s), 2052 - 375);
  EXPECT_EQ(At(20s, "0?h"), "0\r");
}

TEST_F(UnitModelTest, MoveRunsToItsTargetOrToALimit) {
  model_.SetPosition(1000, start_);
  ASSERT_EQ(At(0s, "0P 0 0 0"), "OK\r");
  // 4000 steps at 2000 steps per second.
  ASSERT_EQ(At(0s, "0M -3000"), "OK\r");
  EXPECT_EQ(At(1s, "0?h"), "1\r");
  EXPECT_EQ(At(1s, "0?S"), "-1000\r");
  EXPECT_EQ(At(3s, "0?S"), "-3000\r");
  EXPECT_EQ(At(3s, "0?h"), "0\r");
  // A limit stops a move that runs into it.
  ASSERT_EQ(At(3s, "0P 1 -3500 -2500"), "OK\r");
  ASSERT_EQ(At(3s, "0M 0"), "OK\r");
  EXPECT_EQ(At(5s, "0?S"), "-2500\r");
}

TEST_F(UnitModelTest, FrequentCommandsDoNotSlowAJog) {
  // 24,000,000 / 7,000 steps per second is not a whole number of steps per
  // millisecond; rounding at every command would lose the fractions.
  for (const char* command : {"0d 1", "0v 7000", "0G"}) ASSERT_EQ(At(0s, command), "OK\r");
  for (int ms = 1; ms <= 1000; ++ms) At(std::chrono::milliseconds(ms), "0v 7000");
  EXPECT_EQ(PositionAt(1s), 3428);  // 3428.57...
}

TEST_F(UnitModelTest, HaltEndsMotionWhereItIs) {
  ASSERT_EQ(At(0s, "0M 5000"), "OK\r");
  model_.Halt(start_ + 1s);
  EXPECT_FALSE(MovingAt(2s));
  EXPECT_EQ(PositionAt(2s), 2000);
}

TEST_F(UnitModelTest, MemoryAccessStaysInsideTheMemory) {
  const std::uint8_t bytes[] = {1, 2, 3};
  EXPECT_TRUE(model_.WriteMemory(kSettingsAddress + kSettingsSize - 3, bytes));
  EXPECT_FALSE(model_.WriteMemory(kSettingsAddress + kSettingsSize - 2, bytes));
  EXPECT_FALSE(model_.WriteMemory(kMemoryAddress - 1, bytes));
  EXPECT_EQ(model_.ReadMemory(kSettingsAddress + kSettingsSize - 2, 10),
            (std::vector<std::uint8_t>{2, 3}));
  EXPECT_TRUE(model_.ReadMemory(kMemoryAddress - 1, 4).empty());
  EXPECT_EQ(At(0s, "0F373BF"), "03\r");
}

}  // namespace
}  // namespace stravon::sim
