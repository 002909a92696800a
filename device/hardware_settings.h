// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace stravon {

// The step count that the offset position holds when the initial specimen size
// equals the minimum specimen size.
inline constexpr std::int32_t kHomePosition = 315;

// What the unit's own test accepts when it reads its settings back; outside
// these it would look unprogrammed after the next connection. Compared in
// double precision, as the unit compares them.
inline constexpr double kMinimumMotorPitch = 0.00001;  // mm per step
inline constexpr double kMaximumMotorPitch = 0.015857;
inline constexpr double kMinimumTravelSoftLimit = 5.0;  // mm
inline constexpr double kMaximumTravelSoftLimit = 43.0;
inline constexpr double kMaximumMinimumSpecimenSize = 200.0;  // mm, from 0
// The series name's field: three characters and a zero.
inline constexpr std::size_t kMaximumSeriesLength = 3;

// The unit keeps its calibration in a 64-byte block directly after the program
// image.
inline constexpr std::uint32_t kSettingsBlockAddress = 0x7380;
inline constexpr std::size_t kSettingsBlockSize = 64;
using SettingsBlock = std::array<std::uint8_t, kSettingsBlockSize>;

// The unit's mechanical calibration. Lengths in millimetres (single precision,
// as the unit stores them), positions in motor steps.
struct HardwareSettings {
  float MotorPitch = 0.0f;  // mm per motor step
  float MinimumSpecimenSize = 0.0f;
  float TravelSoftLimit = 0.0f;
  std::int32_t Stroke = 0;  // held as a negative number of steps
  std::int32_t OffsetPosition = 0;
  std::array<char, 4> SeriesName{};  // at most 3 characters and a zero
  std::int32_t ModelNumber = 0;

  // Derived quantities, in single precision except OffsetShown.
  float ActuatorStroke() const;  // mm
  float Offset() const;          // mm
  float InitialSpecimenSize() const;
  // Position on the unit's scale (0 is the offset position) of a specimen size.
  std::int32_t UnitPosition(float size) const;
  // The offset displayed while the unit reports `position`.
  double OffsetShown(std::int32_t position) const;
  // The series name as text: up to the first zero byte, at most four
  // characters (a block read from the unit need not hold the zero).
  std::string SeriesText() const;
  // "<series>-<model number>", e.g. "P1-1".
  std::string ModelName() const;
  // "Stravon Model P1-1": how the unit is named to the operator.
  std::string ModelLine() const;

  bool operator==(const HardwareSettings&) const = default;
};

// Floats and the model number little-endian, stroke and offset position
// big-endian; the reserved bytes are zero.
SettingsBlock EncodeSettingsBlock(const HardwareSettings& settings);
HardwareSettings DecodeSettingsBlock(const SettingsBlock& block);

// Whether a block read from the unit holds a calibration. A unit that was never
// programmed fails.
bool SettingsAreValid(const HardwareSettings& settings);

// The fields of the settings, in block order.
enum class SettingsField {
  kMotorPitch,
  kMinimumSpecimenSize,
  kTravelSoftLimit,
  kSeriesName,
  kModelNumber,
  kStroke,
  kOffsetPosition,
};

// The fields whose stored bytes differ between `a` and `b` (floats compared
// bit for bit, the series name up to its four bytes), in block order.
std::vector<SettingsField> DifferingFields(const HardwareSettings& a, const HardwareSettings& b);

// Whether the offset position lies within the actuator's stroke of the home
// position (a step either way for the rounding of the conversions). One
// beyond it would send a move or a jog millions of steps off.
bool OffsetWithinStroke(const HardwareSettings& settings);

// The series index (0 "P", 1 "R", 2 "W") of the series name, or `current` when
// the name starts with another character.
int SeriesIndex(const HardwareSettings& settings, int current);

// The calibration of a factory-fresh unit of the first series: what a unit
// holds until its settings are programmed, and what a profile is shown with
// before any unit's settings have been read.
HardwareSettings DefaultSeriesSettings();

}  // namespace stravon
