// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_commands.h"

#include <array>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

namespace stravon {
namespace {

TEST(DeviceCommandsTest, WireFormats) {
  const std::array<std::uint8_t, 4> load = {0x00, 0xAB, 0x0F, 0xFF};
  const struct {
    std::string actual;
    const char* expected;
  } cases[] = {
      {StopCommand(), "0S\r"},
      {GoCommand(), "0G\r"},
      {DirectionCommand(1), "0d 1\r"},
      {SpeedCommand(64000), "0v 64000\r"},
      {StatusCommand(), "0?S\r"},
      {MoveCommand(-415), "0M -415\r"},
      {LimitsOnCommand(-415, 2052), "0P 1 -415 2052\r"},
      {LimitsOffCommand(), "0P 0 0 0\r"},
      {QueryHCommand(), "0?h\r"},
      {IdentifyCommand(3), "0?R 3\r"},
      {PageLoadCommand(60, load), "0F13C00AB0FFF\r"},
      {PageCommitCommand(0x7380), "0F27380\r"},
      {ReadByteCommand(0x6E0A), "0F36E0A\r"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(DeviceCommandsTest, JogSpeedValues) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {
      {1, 1024000}, {-1, 1024000}, {5, 64000},    {-5, 64000},    {10, 2000},
      {-10, 2000},  {0, 5000000},  {11, 5000000}, {-11, 5000000}, {INT32_MIN, 5000000},
  };
  for (const auto& [code, value] : cases) EXPECT_EQ(JogSpeedValue(code), value) << code;
}

TEST(DeviceCommandsTest, ErrorReplies) {
  const struct {
    const char* reply;
    bool is_error;
    int number;
  } cases[] = {
      {"Error 97", true, 97}, {"Error 12 busy", true, 12}, {"Error   -3", true, -3},
      {"Error", true, 0},     {"ErrorX", true, 0},         {"Error:x5", true, 0},
      {"error 12", false, 0}, {"1234", false, 0},          {"", false, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsErrorReply(c.reply), c.is_error) << c.reply;
    if (c.is_error) {
      EXPECT_EQ(ErrorNumber(c.reply), c.number) << c.reply;
    }
  }
}

TEST(DeviceCommandsTest, ReplyByte) {
  const std::pair<const char*, int> cases[] = {
      {"A5", 0xA5},   {"a5", 0xA5}, {"0F", 0x0F}, {"7", 7}, {"7G", 7},
      {"FF00", 0xFF}, {" 5", 5},    {"XY", 0},    {"", 0},  {"-1", 0xFF},
  };
  for (const auto& [reply, byte] : cases) EXPECT_EQ(ReplyByte(reply), byte) << reply;
}

}  // namespace
}  // namespace stravon
