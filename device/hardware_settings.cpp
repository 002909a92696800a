// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/hardware_settings.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "device/saturating_cast.h"

namespace stravon {
namespace {

constexpr std::size_t kPitchAt = 0;
constexpr std::size_t kMinimumSizeAt = 4;
constexpr std::size_t kSoftLimitAt = 8;
constexpr std::size_t kSeriesAt = 12;
constexpr std::size_t kModelAt = 16;
constexpr std::size_t kStrokeAt = 56;
constexpr std::size_t kOffsetPositionAt = 60;

void PutLittle(SettingsBlock& block, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) block[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutBig(SettingsBlock& block, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    block[at + i] = static_cast<std::uint8_t>(value >> (8 * (3 - i)));
  }
}

std::uint32_t GetLittle(const SettingsBlock& block, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{block[at + i]} << (8 * i);
  return value;
}

std::uint32_t GetBig(const SettingsBlock& block, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = (value << 8) | block[at + i];
  return value;
}

}  // namespace

float HardwareSettings::ActuatorStroke() const {
  // Negated in 64 bits: the most negative stroke has no 32-bit opposite.
  return static_cast<float>(-std::int64_t{Stroke}) * MotorPitch;
}

float HardwareSettings::Offset() const {
  return static_cast<float>(std::int64_t{OffsetPosition} - kHomePosition) * MotorPitch;
}

float HardwareSettings::InitialSpecimenSize() const { return Offset() + MinimumSpecimenSize; }

std::string HardwareSettings::SeriesText() const {
  std::string text;
  for (char c : SeriesName) {
    if (c == '\0') break;
    text += c;
  }
  return text;
}

std::string HardwareSettings::ModelName() const {
  return SeriesText() + "-" + std::to_string(ModelNumber);
}

std::string HardwareSettings::ModelLine() const { return "Stravon Model " + ModelName(); }

std::int32_t HardwareSettings::UnitPosition(float size) const {
  return TruncToInt32(std::floor((size - InitialSpecimenSize()) / MotorPitch));
}

double HardwareSettings::OffsetShown(std::int32_t position) const {
  const std::int64_t steps = std::int64_t{OffsetPosition} + position - kHomePosition;
  return static_cast<double>(steps) * static_cast<double>(MotorPitch);
}

SettingsBlock EncodeSettingsBlock(const HardwareSettings& settings) {
  SettingsBlock block{};
  PutLittle(block, kPitchAt, std::bit_cast<std::uint32_t>(settings.MotorPitch));
  PutLittle(block, kMinimumSizeAt, std::bit_cast<std::uint32_t>(settings.MinimumSpecimenSize));
  PutLittle(block, kSoftLimitAt, std::bit_cast<std::uint32_t>(settings.TravelSoftLimit));
  std::memcpy(&block[kSeriesAt], settings.SeriesName.data(), settings.SeriesName.size());
  PutLittle(block, kModelAt, static_cast<std::uint32_t>(settings.ModelNumber));
  PutBig(block, kStrokeAt, static_cast<std::uint32_t>(settings.Stroke));
  PutBig(block, kOffsetPositionAt, static_cast<std::uint32_t>(settings.OffsetPosition));
  return block;
}

HardwareSettings DecodeSettingsBlock(const SettingsBlock& block) {
  HardwareSettings settings;
  settings.MotorPitch = std::bit_cast<float>(GetLittle(block, kPitchAt));
  settings.MinimumSpecimenSize = std::bit_cast<float>(GetLittle(block, kMinimumSizeAt));
  settings.TravelSoftLimit = std::bit_cast<float>(GetLittle(block, kSoftLimitAt));
  std::memcpy(settings.SeriesName.data(), &block[kSeriesAt], settings.SeriesName.size());
  settings.ModelNumber = static_cast<std::int32_t>(GetLittle(block, kModelAt));
  settings.Stroke = static_cast<std::int32_t>(GetBig(block, kStrokeAt));
  settings.OffsetPosition = static_cast<std::int32_t>(GetBig(block, kOffsetPositionAt));
  return settings;
}

bool SettingsAreValid(const HardwareSettings& settings) {
  // In double precision: the float nearest 0.00001 lies just below it and is
  // refused. NaN fails every comparison and is refused too.
  const double pitch = settings.MotorPitch;
  const double minimum = settings.MinimumSpecimenSize;
  const double soft_limit = settings.TravelSoftLimit;
  return pitch >= kMinimumMotorPitch && pitch <= kMaximumMotorPitch && minimum >= 0.0 &&
         minimum <= kMaximumMinimumSpecimenSize && soft_limit >= kMinimumTravelSoftLimit &&
         soft_limit <= kMaximumTravelSoftLimit;
}

int SeriesIndex(const HardwareSettings& settings, int current) {
  switch (settings.SeriesName[0]) {
    case 'P':
      return 0;
    case 'R':
      return 1;
    case 'W':
      return 2;
    default:
      return current;
  }
}

std::vector<SettingsField> DifferingFields(const HardwareSettings& a, const HardwareSettings& b) {
  const auto bits = [](float value) { return std::bit_cast<std::uint32_t>(value); };
  std::vector<SettingsField> fields;
  if (bits(a.MotorPitch) != bits(b.MotorPitch)) fields.push_back(SettingsField::kMotorPitch);
  if (bits(a.MinimumSpecimenSize) != bits(b.MinimumSpecimenSize)) {
    fields.push_back(SettingsField::kMinimumSpecimenSize);
  }
  if (bits(a.TravelSoftLimit) != bits(b.TravelSoftLimit)) {
    fields.push_back(SettingsField::kTravelSoftLimit);
  }
  if (a.SeriesName != b.SeriesName) fields.push_back(SettingsField::kSeriesName);
  if (a.ModelNumber != b.ModelNumber) fields.push_back(SettingsField::kModelNumber);
  if (a.Stroke != b.Stroke) fields.push_back(SettingsField::kStroke);
  if (a.OffsetPosition != b.OffsetPosition) fields.push_back(SettingsField::kOffsetPosition);
  return fields;
}

bool OffsetWithinStroke(const HardwareSettings& settings) {
  const std::int64_t from_home = std::int64_t{settings.OffsetPosition} - kHomePosition;
  return std::llabs(from_home) <= -std::int64_t{settings.Stroke} + 1;
}

HardwareSettings DefaultSeriesSettings() {
  HardwareSettings settings;
  settings.MotorPitch = 0.003175f;
  settings.MinimumSpecimenSize = 0.0f;
  settings.TravelSoftLimit = 7.2f;
  settings.Stroke = -5000;
  settings.OffsetPosition = 630;
  settings.SeriesName = {'P', '1', '\0', '\0'};
  settings.ModelNumber = 1;
  return settings;
}

}  // namespace stravon
