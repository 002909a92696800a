// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/finding.h"

namespace stravon {

// Hardware settings as a person gives them, lengths in millimetres.
struct HardwareSettingsEntry {
  std::string series_name;
  std::int32_t model_number = 0;
  float offset = 0.0f;             // mm
  float travel_soft_limit = 0.0f;  // mm
  float actuator_stroke = 0.0f;    // mm
  double motor_pitch = 0.0;        // mm per motor step
};

// Whether a unit should hold these settings, for every front end that
// programs them. Refused: what the unit refuses when it reads its settings
// back (soft limit, pitch), a series name longer than its field, a soft limit
// beyond the stroke, an offset larger in size than the stroke, and a stroke,
// offset or model number that its field in the settings block cannot hold.
// `unit_pitch` converts millimetres to steps: the pitch the unit holds, not
// the one given. Returns every finding in order, each refusing, with the
// value and the range it must lie in; empty when acceptable.
std::vector<Finding> JudgeHardwareSettings(const HardwareSettingsEntry& entry, float unit_pitch);

// The step counts the settings block stores for a stroke and an offset in mm:
// floor of the single-precision quotient by the unit's pitch (the offset
// counted from the home position), clamped to 32 bits.
std::int32_t StrokeSteps(float stroke_mm, float unit_pitch);
std::int32_t OffsetSteps(float offset_mm, float unit_pitch);

}  // namespace stravon
