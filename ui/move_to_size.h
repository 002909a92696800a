// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "device/hardware_settings.h"

namespace stravon {

// The fields of the move-to-size dialog as shown or typed, in mm. Only the
// new size is editable; the bounds are compared as they are shown.
struct MoveToSizeFields {
  std::string new_size;
  std::string minimum_size;
  std::string maximum_size;

  bool operator==(const MoveToSizeFields&) const = default;
};

struct MoveToSizeResult {
  enum class Outcome {
    kFieldError,  // a field holds no number; `message` is the prompt
    kRefused,     // the new size lies outside the bounds; `message` says so
    kMove,        // `target` is the unit position to move to
  };
  Outcome outcome = Outcome::kRefused;
  std::string message;
  float new_size = 0.0f;
  std::int32_t target = 0;  // steps
};

// Opening: the current offset and the unit's range, each rounded to two
// decimals.
MoveToSizeFields OpenMoveToSize(double current_offset, const HardwareSettings& settings);

// OK: the range check (both bounds included) and the unit position of the new
// size. The caller stores the target before it posts the move.
MoveToSizeResult AcceptMoveToSize(const MoveToSizeFields& typed, const HardwareSettings& settings);

}  // namespace stravon
