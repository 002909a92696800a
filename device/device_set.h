// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/enumerations.h"

namespace stravon {

// Flags of a DeviceSet.
inline constexpr std::uint32_t kSetInUse = 0x0001;
inline constexpr std::uint32_t kSetSinusoid = 0x0002;
inline constexpr std::uint32_t kSetTimeUnitMask = 0x0C00;
inline constexpr std::uint32_t kSetTimeUnitShift = 10;
inline constexpr std::uint32_t kSetPercentMagnitude = 0x1000;

// The time units a set can run in on the unit, smallest first, with the code
// a set's flags store for each.
struct UnitTimeUnit {
  TimeUnit unit;
  std::uint32_t code;
};
inline constexpr std::array<UnitTimeUnit, 4> kUnitTimeUnits = {
    {{TimeUnit::Seconds, 1}, {TimeUnit::Minutes, 2}, {TimeUnit::Hours, 3}, {TimeUnit::Days, 0}}};

constexpr bool UnitRunsTimeUnit(TimeUnit unit) {
  for (const UnitTimeUnit& entry : kUnitTimeUnits) {
    if (entry.unit == unit) return true;
  }
  return false;
}

// 0 (the Days code) for a unit the unit does not run, as compiles have always
// stored it.
constexpr std::uint32_t TimeUnitCode(TimeUnit unit) {
  for (const UnitTimeUnit& entry : kUnitTimeUnits) {
    if (entry.unit == unit) return entry.code;
  }
  return 0;
}

// `code` is the two flag bits, so every code has its unit.
constexpr TimeUnit TimeUnitOfCode(std::uint32_t code) {
  for (const UnitTimeUnit& entry : kUnitTimeUnits) {
    if (entry.code == code) return entry.unit;
  }
  return TimeUnit::Days;
}

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
