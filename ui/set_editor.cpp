// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/set_editor.h"

#include <cstdint>
#include <limits>

#include "device/phase_compiler.h"
#include "protocol/enumerations.h"
#include "protocol/number_text.h"
#include "ui/field_text.h"

namespace stravon {
namespace {

// The minimum non-zero stretch and recovery, in the selected unit. Compared in
// single precision, so that a typed 0.01 passes.
constexpr float kMinimumPhase = 0.01f;
// A phase may take this much longer than requested before it counts as too fast.
constexpr double kDurationTolerance = 0.005;

template <std::size_t N>
int IndexOf(const std::array<std::string_view, N>& list, std::string_view text) {
  for (std::size_t i = 0; i < N; ++i) {
    if (list[i] == text) return static_cast<int>(i);
  }
  return kNoSelection;
}

std::string ShowSingle(float value) { return FormatSignificant(value, 6); }

std::string ShowLength(double value) { return ShowSingle(NarrowToFloat(value)); }

}  // namespace

SetEditorFields OpenSetEditor(const TestSet& set) {
  SetEditorFields fields;
  fields.function = IndexOf(kSetEditorFunctions, ControlFunctionName(set.XFunction));
  for (std::size_t i = 0; i < kUnitTimeUnits.size(); ++i) {
    if (kUnitTimeUnits[i].unit == set.TimeUnits) fields.time_unit = static_cast<int>(i);
  }
  fields.magnitude = ShowLength(set.XMagnitude);
  fields.stretch = ShowLength(set.StretchDurationSec);
  fields.hold = ShowLength(set.HoldTimeSec);
  fields.recovery = ShowLength(set.RecoveryDurationSec);
  fields.rest = ShowLength(set.RestTimeSec);
  fields.repetitions = std::to_string(set.NumReps);
  // Compared as the fields hold them, in single precision.
  SetDoNotRecover(fields, NarrowToFloat(set.RecoveryDurationSec) <= 0.0f);
  SetDoNotStretch(fields, NarrowToFloat(set.StretchDurationSec) <= 0.0f);
  return fields;
}

void SetDoNotStretch(SetEditorFields& fields, bool ticked) {
  fields.do_not_stretch = ticked;
  if (ticked) fields.stretch = "0";
}

void SetDoNotRecover(SetEditorFields& fields, bool ticked) {
  fields.do_not_recover = ticked;
  if (ticked) fields.recovery = "0";
}

SetEditorResult AcceptSetEditor(const SetEditorFields& typed, const TestSet& set,
                                const SetEditorLimits& limits) {
  SetEditorResult result;
  auto field_error = [&result](SetEditorField field, std::string_view prompt) {
    result.outcome = SetEditorResult::Outcome::kFieldError;
    result.field = field;
    result.message = std::string(prompt);
    return result;
  };

  // A ticked box disables its length, which is 0 whatever the box shows.
  float magnitude = 0.0f;
  float recovery = 0.0f;
  std::int64_t repetitions = 0;
  float rest = 0.0f;
  float hold = 0.0f;
  float stretch = 0.0f;
  if (!ParseFloatField(typed.magnitude, magnitude)) {
    return field_error(SetEditorField::Magnitude, kEnterNumber);
  }
  if (!typed.do_not_recover && !ParseFloatField(typed.recovery, recovery)) {
    return field_error(SetEditorField::Recovery, kEnterNumber);
  }
  // A count that the set cannot hold is no valid entry; a negative one is, and
  // fails the minimum below with its own message.
  if (!ParseIntegerField(typed.repetitions, std::numeric_limits<std::int32_t>::min(),
                         std::numeric_limits<std::int32_t>::max(), repetitions)) {
    return field_error(SetEditorField::Repetitions, kEnterPositiveInteger);
  }
  if (!ParseFloatField(typed.rest, rest)) return field_error(SetEditorField::Rest, kEnterNumber);
  if (!ParseFloatField(typed.hold, hold)) return field_error(SetEditorField::Hold, kEnterNumber);
  if (!typed.do_not_stretch && !ParseFloatField(typed.stretch, stretch)) {
    return field_error(SetEditorField::Stretch, kEnterNumber);
  }
  // Without a selection there is no function or unit to check or write.
  if (typed.function < 0 || typed.function >= static_cast<int>(kSetEditorFunctions.size())) {
    return field_error(SetEditorField::Function, "Select a Control Function.");
  }
  if (typed.time_unit < 0 || typed.time_unit >= static_cast<int>(kUnitTimeUnits.size())) {
    return field_error(SetEditorField::TimeUnit, "Select a Time Unit.");
  }
  const ControlFunction function =
      ControlFunctionFromName(kSetEditorFunctions[static_cast<std::size_t>(typed.function)]);
  const TimeUnit unit = kUnitTimeUnits[static_cast<std::size_t>(typed.time_unit)].unit;

  std::string& errors = result.message;
  const std::string minimum_phase = FormatFixed(static_cast<double>(kMinimumPhase), 2);
  if (!typed.do_not_stretch && !(stretch >= kMinimumPhase)) {
    errors += "Error:  Minimum non-zero Stretch duration = " + minimum_phase + " S\n";
  }
  if (!typed.do_not_recover && !(recovery >= kMinimumPhase)) {
    errors += "Error:  Minimum non-zero Recovery duration = " + minimum_phase + " S\n";
  }
  if (!(rest >= 0.0f)) errors += "Error:  Minimum Rest duration = 0.0 S\n";
  if (!(hold >= 0.0f)) errors += "Error:  Minimum Hold duration = 0.0 S\n";
  if (repetitions < 1) errors += "Error:  Minimum Repetitions = 1\n";

  // What the unit really takes for each phase, worked out on a set that is
  // thrown away. Too fast, it takes longer; too slow for the step timer, the
  // unit would run it shorter than asked, so that is refused as well.
  const float pitch = NarrowToFloat(limits.motor_pitch);
  const bool sinusoid = function == ControlFunction::Sinusoid;
  DeviceSet scratch;
  if (sinusoid) scratch.Flags |= kSetSinusoid;
  if (stretch != 0.0f) {
    const double requested = ToSeconds(unit, stretch);
    const double real = CompileStretchPhase(scratch, pitch, magnitude, requested);
    const double longest = LongestPhaseSeconds(MotionPhase::Stretch, sinusoid, pitch, magnitude);
    if (!(real <= requested + kDurationTolerance)) {
      errors += "Error:  Maximum Stretch Velocity Exceeded.\n\tMinimum Duration = " +
                FormatFixed(real, 6) + "\n";
    } else if (requested > longest) {
      errors += "Error:  Minimum Stretch Velocity Exceeded.\n\tMaximum Duration = " +
                FormatFixed(longest, 6) + "\n";
    }
  }
  if (recovery != 0.0f) {
    const double requested = ToSeconds(unit, recovery);
    const double real = CompileRecoveryPhase(scratch, pitch, magnitude, requested);
    const double longest = LongestPhaseSeconds(MotionPhase::Recovery, sinusoid, pitch, magnitude);
    if (!(real <= requested + kDurationTolerance)) {
      errors += "Error:  Maximum Recovery Velocity Exceeded.\n\tMinimum Duration = " +
                FormatFixed(real, 6) + "\n";
    } else if (requested > longest) {
      errors += "Error:  Minimum Recovery Velocity Exceeded.\n\tMaximum Duration = " +
                FormatFixed(longest, 6) + "\n";
    }
  }
  // The image holds hold and rest in hundredths of a second, 32 bits.
  if (ToSeconds(unit, hold) > kLongestPauseSeconds) {
    errors += "Error:  Maximum Hold Duration Exceeded.\n\tMaximum Duration = " +
              FormatFixed(kLongestPauseSeconds, 6) + "\n";
  }
  if (ToSeconds(unit, rest) > kLongestPauseSeconds) {
    errors += "Error:  Maximum Rest Duration Exceeded.\n\tMaximum Duration = " +
              FormatFixed(kLongestPauseSeconds, 6) + "\n";
  }

  const std::string soft_limit = FormatFixed(limits.travel_soft_limit, 1);
  if (!(static_cast<double>(magnitude) <= limits.travel_soft_limit)) {
    errors += "Error:  Maximum Stretch Magnitude = " + soft_limit + "mm\n";
  }
  if (typed.do_not_recover) {
    // Without recovery every repetition adds its stretch to the last. The count
    // is taken as unsigned, so a negative one fails here as well.
    const float accumulated =
        static_cast<float>(static_cast<std::uint32_t>(repetitions)) * magnitude;
    if (!(static_cast<double>(accumulated) <= limits.travel_soft_limit)) {
      errors += "Error:  Maximum Accumulated Stretch Magnitude = " + soft_limit + "mm\n";
    }
  }

  if (!errors.empty()) {
    result.outcome = SetEditorResult::Outcome::kRefused;
    return result;
  }
  result.outcome = SetEditorResult::Outcome::kAccepted;
  result.set = set;
  result.set.XFunction = function;
  result.set.XUnits = MeasureUnit::Millimetre;
  result.set.XMagnitude = magnitude;
  result.set.RecoveryDurationSec = recovery;
  result.set.NumReps = static_cast<std::int32_t>(repetitions);
  result.set.RestTimeSec = rest;
  result.set.HoldTimeSec = hold;
  result.set.StretchDurationSec = stretch;
  result.set.TimeUnits = unit;
  return result;
}

}  // namespace stravon
