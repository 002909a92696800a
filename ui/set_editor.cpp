// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/set_editor.h"

#include <cstdint>
#include <limits>
#include <utility>

#include "device/phase_compiler.h"
#include "protocol/enumerations.h"
#include "protocol/number_text.h"
#include "ui/field_text.h"
#include "ui/finding_text.h"

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

FindingField FindingFieldOf(SetEditorField field) {
  switch (field) {
    case SetEditorField::Function:
      return FindingField::kFunction;
    case SetEditorField::Magnitude:
      return FindingField::kMagnitude;
    case SetEditorField::TimeUnit:
      return FindingField::kTimeUnit;
    case SetEditorField::Stretch:
      return FindingField::kStretch;
    case SetEditorField::Hold:
      return FindingField::kHold;
    case SetEditorField::Recovery:
      return FindingField::kRecovery;
    case SetEditorField::Rest:
      return FindingField::kRest;
    case SetEditorField::Repetitions:
      return FindingField::kRepetitions;
  }
  return FindingField::kNone;
}

std::vector<Finding> CheckSetEditorValues(const SetEditorValues& values,
                                          const SetEditorLimits& limits) {
  std::vector<Finding> findings;
  const auto add = [&findings](FindingRule rule, FindingField field, double value, double limit) {
    findings.push_back(MakeFinding(rule, field, value, limit));
  };
  const float stretch = values.stretch;
  const float recovery = values.recovery;
  const float hold = values.hold;
  const float rest = values.rest;
  const float magnitude = values.magnitude;
  const TimeUnit unit = values.time_unit;

  const auto minimum_phase = static_cast<double>(kMinimumPhase);
  if (!values.do_not_stretch && !(stretch >= kMinimumPhase)) {
    add(FindingRule::kMinimumPhase, FindingField::kStretch, stretch, minimum_phase);
  }
  if (!values.do_not_recover && !(recovery >= kMinimumPhase)) {
    add(FindingRule::kMinimumPhase, FindingField::kRecovery, recovery, minimum_phase);
  }
  if (!(rest >= 0.0f)) add(FindingRule::kNegativePause, FindingField::kRest, rest, 0.0);
  if (!(hold >= 0.0f)) add(FindingRule::kNegativePause, FindingField::kHold, hold, 0.0);
  if (values.repetitions < 1) {
    add(FindingRule::kMinimumRepetitions, FindingField::kRepetitions,
        static_cast<double>(values.repetitions), 1.0);
  }

  // What the unit really takes for each phase, worked out on a set that is
  // thrown away. Too fast, it takes longer; too slow for the step timer, the
  // unit would run it shorter than asked, so that is refused as well.
  const float pitch = NarrowToFloat(limits.motor_pitch);
  const bool sinusoid = values.function == ControlFunction::Sinusoid;
  DeviceSet scratch;
  if (sinusoid) scratch.Flags |= kSetSinusoid;
  const auto check_phase = [&](MotionPhase phase, FindingField field, float length) {
    if (length == 0.0f) return;
    const double requested = ToSeconds(unit, length);
    const double real = phase == MotionPhase::Stretch
                            ? CompileStretchPhase(scratch, pitch, magnitude, requested)
                            : CompileRecoveryPhase(scratch, pitch, magnitude, requested);
    const double longest = LongestPhaseSeconds(phase, sinusoid, pitch, magnitude);
    if (!(real <= requested + kDurationTolerance)) {
      add(FindingRule::kPhaseTooFast, field, requested, real);
    } else if (requested > longest) {
      add(FindingRule::kPhaseTooSlow, field, requested, longest);
    }
  };
  check_phase(MotionPhase::Stretch, FindingField::kStretch, stretch);
  check_phase(MotionPhase::Recovery, FindingField::kRecovery, recovery);
  // The image holds hold and rest in hundredths of a second, 32 bits.
  for (const auto& [field, length] :
       {std::pair{FindingField::kHold, hold}, std::pair{FindingField::kRest, rest}}) {
    const double seconds = ToSeconds(unit, length);
    if (seconds > kLongestPauseSeconds) {
      add(FindingRule::kPauseTooLong, field, seconds, kLongestPauseSeconds);
    }
  }

  if (!(static_cast<double>(magnitude) <= limits.travel_soft_limit)) {
    add(FindingRule::kMagnitudeBeyondLimit, FindingField::kMagnitude, magnitude,
        limits.travel_soft_limit);
  }
  if (values.do_not_recover) {
    // Without recovery every repetition adds its stretch to the last. The count
    // is taken as unsigned, so a negative one fails here as well.
    const float accumulated =
        static_cast<float>(static_cast<std::uint32_t>(values.repetitions)) * magnitude;
    if (!(static_cast<double>(accumulated) <= limits.travel_soft_limit)) {
      add(FindingRule::kAccumulatedBeyondLimit, FindingField::kMagnitude, accumulated,
          limits.travel_soft_limit);
    }
  }
  return findings;
}

SetEditorResult AcceptSetEditor(const SetEditorFields& typed, const TestSet& set,
                                const SetEditorLimits& limits) {
  SetEditorResult result;
  const auto field_error = [&result](SetEditorField field, FindingRule rule) {
    const Finding finding = MakeFinding(rule, FindingFieldOf(field));
    result.outcome = SetEditorResult::Outcome::kFieldError;
    result.field = field;
    result.message = FieldPrompt(finding);
    result.findings = {finding};
    return result;
  };

  // A ticked box disables its length, which is 0 whatever the box shows.
  SetEditorValues values;
  values.do_not_stretch = typed.do_not_stretch;
  values.do_not_recover = typed.do_not_recover;
  if (!ParseFloatField(typed.magnitude, values.magnitude)) {
    return field_error(SetEditorField::Magnitude, FindingRule::kNotANumber);
  }
  if (!typed.do_not_recover && !ParseFloatField(typed.recovery, values.recovery)) {
    return field_error(SetEditorField::Recovery, FindingRule::kNotANumber);
  }
  // A count that the set cannot hold is no valid entry; a negative one is, and
  // fails the minimum with its own message.
  if (!ParseIntegerField(typed.repetitions, std::numeric_limits<std::int32_t>::min(),
                         std::numeric_limits<std::int32_t>::max(), values.repetitions)) {
    return field_error(SetEditorField::Repetitions, FindingRule::kNotAPositiveInteger);
  }
  if (!ParseFloatField(typed.rest, values.rest)) {
    return field_error(SetEditorField::Rest, FindingRule::kNotANumber);
  }
  if (!ParseFloatField(typed.hold, values.hold)) {
    return field_error(SetEditorField::Hold, FindingRule::kNotANumber);
  }
  if (!typed.do_not_stretch && !ParseFloatField(typed.stretch, values.stretch)) {
    return field_error(SetEditorField::Stretch, FindingRule::kNotANumber);
  }
  // Without a selection there is no function or unit to check or write.
  if (typed.function < 0 || typed.function >= static_cast<int>(kSetEditorFunctions.size())) {
    return field_error(SetEditorField::Function, FindingRule::kSelectFunction);
  }
  if (typed.time_unit < 0 || typed.time_unit >= static_cast<int>(kUnitTimeUnits.size())) {
    return field_error(SetEditorField::TimeUnit, FindingRule::kSelectTimeUnit);
  }
  values.function =
      ControlFunctionFromName(kSetEditorFunctions[static_cast<std::size_t>(typed.function)]);
  values.time_unit = kUnitTimeUnits[static_cast<std::size_t>(typed.time_unit)].unit;

  result.findings = CheckSetEditorValues(values, limits);
  if (!result.findings.empty()) {
    result.outcome = SetEditorResult::Outcome::kRefused;
    result.message = FindingsText(result.findings);
    return result;
  }
  result.outcome = SetEditorResult::Outcome::kAccepted;
  result.set = set;
  result.set.XFunction = values.function;
  result.set.XUnits = MeasureUnit::Millimetre;
  result.set.XMagnitude = values.magnitude;
  result.set.RecoveryDurationSec = values.recovery;
  result.set.NumReps = static_cast<std::int32_t>(values.repetitions);
  result.set.RestTimeSec = values.rest;
  result.set.HoldTimeSec = values.hold;
  result.set.StretchDurationSec = values.stretch;
  result.set.TimeUnits = values.time_unit;
  return result;
}

}  // namespace stravon
