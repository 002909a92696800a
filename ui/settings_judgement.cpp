// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings_judgement.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "device/hardware_settings.h"
#include "device/saturating_cast.h"
#include "ui/field_text.h"

namespace stravon {
namespace {

// The quotients whose floor the block stores, in single precision as the
// block's own floats are.
float StrokeQuotient(float stroke_mm, float pitch) { return stroke_mm * -1.0f / pitch; }
float OffsetQuotient(float offset_mm, float pitch) {
  return offset_mm / pitch + static_cast<float>(kHomePosition);
}

// Whether the floor of `quotient` is a 32-bit signed count.
bool FitsSteps(float quotient) { return quotient >= -2147483648.0f && quotient < 2147483648.0f; }

}  // namespace

std::int32_t StrokeSteps(float stroke_mm, float unit_pitch) {
  return TruncToInt32(std::floor(StrokeQuotient(stroke_mm, unit_pitch)));
}

std::int32_t OffsetSteps(float offset_mm, float unit_pitch) {
  return TruncToInt32(std::floor(OffsetQuotient(offset_mm, unit_pitch)));
}

std::vector<Finding> JudgeHardwareSettings(const HardwareSettingsEntry& entry, float unit_pitch) {
  std::vector<Finding> findings;
  if (entry.series_name.size() > kMaximumSeriesLength) {
    findings.push_back(MakeFinding(FindingRule::kSeriesNameTooLong, FindingField::kSeriesName,
                                   static_cast<double>(entry.series_name.size()),
                                   static_cast<double>(kMaximumSeriesLength)));
  }
  const float stroke = entry.actuator_stroke;
  const double soft_limit = entry.travel_soft_limit;
  if (soft_limit > kMaximumTravelSoftLimit) {
    findings.push_back(MakeFinding(FindingRule::kSoftLimitAboveMaximum,
                                   FindingField::kTravelSoftLimit, soft_limit,
                                   kMaximumTravelSoftLimit));
  } else if (soft_limit < kMinimumTravelSoftLimit) {
    findings.push_back(MakeFinding(FindingRule::kSoftLimitBelowMinimum,
                                   FindingField::kTravelSoftLimit, soft_limit,
                                   kMinimumTravelSoftLimit));
  } else if (entry.travel_soft_limit > stroke) {
    // The actuator cannot reach it: jogs and protocols would be allowed to
    // drive it into its end stop.
    findings.push_back(MakeFinding(FindingRule::kSoftLimitBeyondStroke,
                                   FindingField::kTravelSoftLimit, soft_limit, stroke));
  }
  // Compared as the unit compares it: the single-precision value, widened.
  const double pitch = NarrowToFloat(entry.motor_pitch);
  if (!(pitch >= kMinimumMotorPitch && pitch <= kMaximumMotorPitch)) {
    findings.push_back(MakeFinding(FindingRule::kOutsideValidRange, FindingField::kMotorPitch,
                                   pitch, kMaximumMotorPitch, kMinimumMotorPitch));
  }
  // The block holds the stroke as a negative step count; a stroke of no steps
  // or one beyond 32 bits (which would be cut short) is no stroke, nor is the
  // most negative count, which a unit does not take.
  const float stroke_quotient = StrokeQuotient(stroke, unit_pitch);
  const bool stroke_valid =
      stroke > 0.0f && FitsSteps(stroke_quotient) && stroke_quotient > -2147483648.0f;
  if (!stroke_valid) {
    const float longest = 2147483648.0f * unit_pitch;
    findings.push_back(MakeFinding(FindingRule::kOutsideValidRange, FindingField::kActuatorStroke,
                                   stroke, longest, 0.0));
  }
  // A negative offset is a specimen start below the minimum size, which is
  // valid as long as it lies within the stroke.
  if (!(std::fabs(entry.offset) <= stroke) ||
      !FitsSteps(OffsetQuotient(entry.offset, unit_pitch))) {
    findings.push_back(stroke_valid
                           ? MakeFinding(FindingRule::kOutsideValidRange, FindingField::kOffset,
                                         entry.offset, stroke, -stroke)
                           : MakeFinding(FindingRule::kOutsideValidRange, FindingField::kOffset,
                                         entry.offset, std::nullopt));
  }
  if (entry.model_number < 0) {
    findings.push_back(MakeFinding(FindingRule::kOutsideValidRange, FindingField::kModelNumber,
                                   entry.model_number, std::numeric_limits<std::int32_t>::max(),
                                   0.0));
  }
  return findings;
}

}  // namespace stravon
