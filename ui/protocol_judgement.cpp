// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/protocol_judgement.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string_view>

#include "device/program_image.h"
#include "protocol/enumerations.h"
#include "ui/field_text.h"
#include "ui/set_editor.h"
#include "ui/stage_model.h"

namespace stravon {
namespace {

// Whether one of the editor's lists offers the entry of that name.
template <std::size_t N>
bool Offered(const std::array<std::string_view, N>& list, std::string_view name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

bool HasSeverity(const std::vector<Finding>& findings, Severity severity) {
  return std::any_of(findings.begin(), findings.end(),
                     [severity](const Finding& f) { return f.severity == severity; });
}

}  // namespace

bool Refuses(const std::vector<Finding>& findings) {
  return HasSeverity(findings, Severity::kRefuses);
}

bool Warns(const std::vector<Finding>& findings) { return HasSeverity(findings, Severity::kWarns); }

TestSet AsTheUnitRunsIt(const TestSet& set, const HardwareSettings& settings) {
  TestSet runs = set;
  runs.XMagnitude = MagnitudeMillimetres(set, settings);
  runs.XUnits = MeasureUnit::Millimetre;
  return runs;
}

std::vector<Finding> SetEditorFindings(const TestSet& set, const HardwareSettings& settings) {
  // Judged is the value the editor would hold, in single precision: its
  // fields show six digits, which could move a value across a limit. A value
  // with no single-precision form is no number to the editor; a stretch or
  // recovery of 0 or less opens ticked.
  SetEditorValues values;
  values.do_not_recover = NarrowToFloat(set.RecoveryDurationSec) <= 0.0f;
  values.do_not_stretch = NarrowToFloat(set.StretchDurationSec) <= 0.0f;
  std::optional<FindingField> not_a_number;
  const auto take = [&not_a_number](double value, FindingField field, float& held) {
    held = NarrowToFloat(value);
    if (!not_a_number && !std::isfinite(held)) not_a_number = field;
  };
  // In the order the editor reads its fields.
  take(set.XMagnitude, FindingField::kMagnitude, values.magnitude);
  if (!values.do_not_recover)
    take(set.RecoveryDurationSec, FindingField::kRecovery, values.recovery);
  values.repetitions = set.NumReps;
  take(set.RestTimeSec, FindingField::kRest, values.rest);
  take(set.HoldTimeSec, FindingField::kHold, values.hold);
  if (!values.do_not_stretch) take(set.StretchDurationSec, FindingField::kStretch, values.stretch);

  if (not_a_number) return {MakeFinding(FindingRule::kNotANumber, *not_a_number)};
  if (!Offered(kSetEditorFunctions, ControlFunctionName(set.XFunction))) {
    return {MakeFinding(FindingRule::kSelectFunction, FindingField::kFunction)};
  }
  if (!UnitRunsTimeUnit(set.TimeUnits)) {
    return {MakeFinding(FindingRule::kSelectTimeUnit, FindingField::kTimeUnit)};
  }
  values.function = set.XFunction;
  values.time_unit = set.TimeUnits;
  return CheckSetEditorValues(values, {settings.TravelSoftLimit, settings.MotorPitch});
}

std::vector<Finding> JudgeProtocol(const TestSequence& sequence, const HardwareSettings& settings) {
  std::vector<Finding> findings = CheckCommit(sequence, settings);
  for (std::size_t i = 0; i < sequence.sets.size(); ++i) {
    // Such a set compiles to 0 steps and the unit accepts it: it runs its
    // time without moving.
    if (sequence.sets[i].XUnits == MeasureUnit::Percent && settings.MinimumSpecimenSize == 0.0f) {
      Finding finding = MakeFinding(FindingRule::kPercentOfNothing, FindingField::kMagnitude);
      finding.severity = Severity::kWarns;
      finding.set = i;
      findings.push_back(finding);
    }
    // Neither the editor nor the commit refuses one, yet it is seldom meant.
    if (const double magnitude = sequence.sets[i].XMagnitude; magnitude < 0.0) {
      Finding finding =
          MakeFinding(FindingRule::kNegativeMagnitude, FindingField::kMagnitude, magnitude);
      finding.severity = Severity::kWarns;
      finding.set = i;
      findings.push_back(finding);
    }
    for (Finding finding :
         SetEditorFindings(AsTheUnitRunsIt(sequence.sets[i], settings), settings)) {
      finding.severity = Severity::kWarns;
      finding.set = i;
      findings.push_back(finding);
    }
  }
  return findings;
}

}  // namespace stravon
