// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace stravon {

// Flags of a DeviceSet.
inline constexpr std::uint32_t kSetInUse = 0x0001;
inline constexpr std::uint32_t kSetSinusoid = 0x0002;
inline constexpr std::uint32_t kSetTimeUnitMask = 0x0C00;
inline constexpr std::uint32_t kSetTimeUnitShift = 10;
inline constexpr std::uint32_t kSetPercentMagnitude = 0x1000;

// Bits of a sinusoid segment's control and mask bytes. The control byte sets a
// bit that holds; the mask byte (otherwise all ones) clears one that does not.
inline constexpr std::uint8_t kSegmentAccelerates = 0x01;  // not slower than before
inline constexpr std::uint8_t kSegmentNoRamp = 0x20;       // ramp length unchanged
inline constexpr std::uint8_t kSegmentStretch = 0x06;
inline constexpr std::uint8_t kSegmentRecovery = 0x04;
inline constexpr std::uint8_t kSegmentLast = 0x08;

// One of the eight segments of a sinusoid phase.
struct MotionSegment {
  std::uint32_t Period = 4000;
  std::int32_t Steps = 200;
  std::uint8_t Mask = 0;
  std::uint8_t Control = 0;

  bool operator==(const MotionSegment&) const = default;
};

inline constexpr std::size_t kSegmentCount = 8;
using SegmentArray = std::array<MotionSegment, kSegmentCount>;

constexpr SegmentArray InitialSegments(std::int32_t steps) {
  SegmentArray segments{};
  for (MotionSegment& segment : segments) segment.Steps = steps;
  return segments;
}

// One set in the unit's terms. The initial values are what every table entry
// holds before a compile or a decode.
struct DeviceSet {
  std::uint32_t Repetitions = 1;
  std::uint32_t HoldTime = 0;  // hundredths of a second
  std::uint32_t RestTime = 0;  // hundredths of a second
  std::uint32_t Flags = kSetInUse;
  std::uint32_t StretchPeriod = 4000;
  std::int32_t StretchSteps = 2267;
  std::uint32_t RecoveryPeriod = 4000;
  std::int32_t RecoverySteps = -2267;
  SegmentArray StretchSegments = InitialSegments(200);
  SegmentArray RecoverySegments = InitialSegments(-200);

  bool operator==(const DeviceSet&) const = default;
};

}  // namespace stravon
