// SPDX-License-Identifier: GPL-3.0-or-later
// Every byte value goes into the unit and comes back out unchanged through
// the link's page writes and byte reads: nothing on the way (line settings,
// hex digits, carriage returns in the data) may alter one.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "device/device_link.h"
#include "device/program_image.h"
#include "sim/simulated_unit.h"

namespace stravon {
namespace {

TEST(ByteTransparencyTest, RandomImagesWithEveryByteValueComeBackUnchanged) {
  const std::uint32_t seed = std::random_device{}();
  std::cout << "seed " << seed << "\n";
  SCOPED_TRACE(seed);
  std::mt19937 rng(seed);

  sim::SimulatedUnit unit;
  ASSERT_EQ(unit.Start(), 0);
  DeviceLink link;
  link.SetPortName(unit.SlavePath());
  link.SetReadTimeoutMs(2000);
  ASSERT_EQ(link.ConnectDevice(), 1);

  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    // Each value five times, the rest random, in random order.
    std::vector<std::uint8_t> image;
    for (int copy = 0; copy < 5; ++copy) {
      for (int value = 0; value < 256; ++value) image.push_back(static_cast<std::uint8_t>(value));
    }
    std::uniform_int_distribution<int> any_byte(0, 255);
    while (image.size() < kProgramImageSize) {
      image.push_back(static_cast<std::uint8_t>(any_byte(rng)));
    }
    std::shuffle(image.begin(), image.end(), rng);

    ASSERT_TRUE(link.WriteProgramImage(image).Done());
    EXPECT_EQ(unit.ReadMemory(kProgramImageAddress, kProgramImageSize), image);
    std::vector<std::uint8_t> read(kProgramImageSize);
    for (std::size_t i = 0; i < read.size(); ++i) {
      ASSERT_TRUE(
          link.ReadByte(static_cast<std::uint16_t>(kProgramImageAddress + i), &read[i]).ok());
    }
    EXPECT_EQ(read, image);
  }
  link.Port().CloseSerialPort();
}

}  // namespace
}  // namespace stravon
