// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings_judgement.h"

#include <cmath>

#include "device/hardware_settings.h"
#include "device/saturating_cast.h"
#include "protocol/number_text.h"
#include "ui/field_text.h"

namespace stravon {
namespace {

// What the unit's own test accepts when it reads its settings back. Outside
// these the unit would look unprogrammed after the next connection.
constexpr float kMaximumSoftLimit = 43.0f;
constexpr float kMinimumSoftLimit = 5.0f;
constexpr double kMinimumPitch = 0.00001;
constexpr double kMaximumPitch = 0.015857;
constexpr std::size_t kMaximumSeriesLength = 3;

// The quotients whose floor the block stores, in single precision as the
// block's own floats are.
float StrokeQuotient(float stroke_mm, float pitch) { return stroke_mm * -1.0f / pitch; }
float OffsetQuotient(float offset_mm, float pitch) {
  return offset_mm / pitch + static_cast<float>(kHomePosition);
}

// Whether the floor of `quotient` is a 32-bit signed count.
bool FitsSteps(float quotient) { return quotient >= -2147483648.0f && quotient < 2147483648.0f; }

std::string Show(float value) { return FormatSignificant(value, 6); }

}  // namespace

std::int32_t StrokeSteps(float stroke_mm, float unit_pitch) {
  return TruncToInt32(std::floor(StrokeQuotient(stroke_mm, unit_pitch)));
}

std::int32_t OffsetSteps(float offset_mm, float unit_pitch) {
  return TruncToInt32(std::floor(OffsetQuotient(offset_mm, unit_pitch)));
}

std::string JudgeHardwareSettings(const HardwareSettingsEntry& entry, float unit_pitch) {
  std::string errors;
  if (entry.series_name.size() > kMaximumSeriesLength) {
    errors += "Error:  Maximum Series Name Length = 3 Characters\n";
  }
  const float stroke = entry.actuator_stroke;
  if (entry.travel_soft_limit > kMaximumSoftLimit) {
    errors += "Error:  Maximum Travel Upper Limit Exceeded.\n\tMaximum Travel = " +
              FormatFixed(kMaximumSoftLimit, 6) + "\n";
  } else if (entry.travel_soft_limit < kMinimumSoftLimit) {
    errors += "Error:  Minimum Travel Soft Limit Not Reached.\n\tMinimum Travel = " +
              FormatFixed(kMinimumSoftLimit, 6) + "\n";
  } else if (entry.travel_soft_limit > stroke) {
    // The actuator cannot reach it: jogs and protocols would be allowed to
    // drive it into its end stop.
    errors += "Error:  Travel Soft Limit Exceeds the Actuator Stroke.\n\tMaximum Travel = " +
              FormatFixed(stroke, 6) + "\n";
  }
  // Compared as the unit compares it: the single-precision value, widened.
  const double pitch = NarrowToFloat(entry.motor_pitch);
  if (!(pitch >= kMinimumPitch && pitch <= kMaximumPitch)) {
    errors += "Error:  Motor Pitch Outside of Valid Range.\n\tValid Range = 0.00001 to 0.015857\n";
  }
  // The block holds the stroke as a negative step count; a stroke of no steps
  // or one beyond 32 bits (which would be cut short) is no stroke.
  const bool stroke_valid = stroke > 0.0f && FitsSteps(StrokeQuotient(stroke, unit_pitch));
  if (!stroke_valid) {
    const float longest = 2147483648.0f * unit_pitch;
    errors += "Error:  Actuator Stroke Outside of Valid Range.\n\tValid Range = more than 0 to " +
              Show(longest) + " mm\n";
  }
  // A negative offset is a specimen start below the minimum size, which is
  // valid as long as it lies within the stroke.
  if (!(std::fabs(entry.offset) <= stroke) ||
      !FitsSteps(OffsetQuotient(entry.offset, unit_pitch))) {
    const std::string range =
        stroke_valid ? Show(-stroke) + " to " + Show(stroke) + " mm" : "within the actuator stroke";
    errors += "Error:  Offset Outside of Valid Range.\n\tValid Range = " + range + "\n";
  }
  if (entry.model_number < 0) {
    errors += "Error:  Model Number Outside of Valid Range.\n\tValid Range = 0 to 2147483647\n";
  }
  return errors;
}

}  // namespace stravon
