// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/move_to_size.h"

#include <cmath>

#include "ui/field_text.h"

namespace stravon {
namespace {

// Rounded in double precision, held in single precision.
float Round2(double value) { return static_cast<float>(std::floor(value * 100.0 + 0.5) / 100.0); }

std::string ShowSingle(float value) { return FormatSignificant(value, 6); }

}  // namespace

MoveToSizeFields OpenMoveToSize(double current_offset, const HardwareSettings& settings) {
  const double minimum = settings.MinimumSpecimenSize;
  const double soft_limit = settings.TravelSoftLimit;
  return {ShowSingle(Round2(current_offset)), ShowSingle(Round2(minimum)),
          ShowSingle(Round2(soft_limit + minimum))};
}

MoveToSizeResult AcceptMoveToSize(const MoveToSizeFields& typed, const HardwareSettings& settings) {
  MoveToSizeResult result;
  float minimum = 0.0f;
  float maximum = 0.0f;
  if (!ParseFloatField(typed.new_size, result.new_size) ||
      !ParseFloatField(typed.minimum_size, minimum) ||
      !ParseFloatField(typed.maximum_size, maximum)) {
    result.outcome = MoveToSizeResult::Outcome::kFieldError;
    result.message = std::string(kEnterNumber);
    return result;
  }
  if (minimum > result.new_size || result.new_size > maximum) {
    result.outcome = MoveToSizeResult::Outcome::kRefused;
    result.message = "Error:  New Size Outside of Valid Range\n";
    return result;
  }
  result.outcome = MoveToSizeResult::Outcome::kMove;
  result.target = settings.UnitPosition(result.new_size);
  return result;
}

}  // namespace stravon
