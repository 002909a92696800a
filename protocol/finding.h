// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "protocol/enumerations.h"

namespace stravon {

// What a check found, as data: the texts a person reads are made from it by
// one renderer (ui/finding_text.h), so every front end words it the same.
enum class FindingRule {
  // Reading a protocol file strictly.
  kNoProtocol,      // not even a header
  kUnknownColumn,   // token: the key
  kRepeatedColumn,  // token: the key; column: the column it names
  kValueCount,      // value: values on the line; limit: columns in the header
  kInvalidValue,    // token: the value; column: its column

  // A field of the set editor that holds no valid entry (field).
  kNotANumber,
  kNotAPositiveInteger,
  kSelectFunction,
  kSelectTimeUnit,

  // The set editor's checks; field is the phase or pause they are about.
  kMinimumPhase,            // a stretch or recovery shorter than limit
  kNegativePause,           // a hold or rest below limit (0)
  kMinimumRepetitions,      // limit: 1
  kPhaseTooFast,            // value: requested seconds; limit: what the motor takes
  kPhaseTooSlow,            // value: requested seconds; limit: the longest the timer counts
  kPauseTooLong,            // value: seconds; limit: the longest the image holds
  kMagnitudeBeyondLimit,    // value: mm; limit: the travel soft limit
  kAccumulatedBeyondLimit,  // value: mm stretched without recovery; limit as above

  // The stage's commit check.
  kNoSets,
  kZeroLength,           // value: total seconds
  kPositionBeyondLimit,  // value: highest position; limit: the travel soft limit
  kPositionBelowZero,    // value: lowest position; limit: 0
  kMemoryFull,           // value: used percent; limit: 100
  kRepetitionsBelowOne,  // set; value: the count
  kDurationNotALength,   // set
  kTimeUnitNotRun,       // set
  kMagnitudeNotANumber,  // set
  kPercentOfNothing,     // set: a percent magnitude while the minimum specimen size is 0
  kNegativeMagnitude,    // set; value: the magnitude as written (it moves the other way)

  // The hardware settings' checks; field is the setting.
  kSeriesNameTooLong,      // value: characters; limit: the most the block holds
  kSoftLimitAboveMaximum,  // limit: the highest any unit accepts
  kSoftLimitBelowMinimum,  // limit: the lowest any unit accepts
  kSoftLimitBeyondStroke,  // limit: the actuator stroke
  kOutsideValidRange,      // lower .. limit; no limit: no range can be given
};

enum class Severity {
  kRefuses,  // the operation does not go ahead
  kWarns,    // it goes ahead; the person should know
};

// The value a finding is about. Set-editor fields first, then the hardware
// settings; a file's column is in Finding::column.
enum class FindingField {
  kNone,
  kFunction,
  kMagnitude,
  kTimeUnit,
  kStretch,
  kHold,
  kRecovery,
  kRest,
  kRepetitions,
  kSeriesName,
  kModelNumber,
  kOffset,
  kTravelSoftLimit,
  kActuatorStroke,
  kMotorPitch,
};

inline constexpr Instruction kNoColumn = static_cast<Instruction>(-1);

struct Finding {
  FindingRule rule = FindingRule::kNoProtocol;
  Severity severity = Severity::kRefuses;
  std::optional<std::size_t> set;  // index into the sequence's sets
  FindingField field = FindingField::kNone;
  double value = 0.0;
  std::optional<double> limit;
  std::optional<double> lower;  // the low end, where the limit is a range's high end

  // File diagnostics: the line (from 1), the token as read and its column.
  int line = 0;
  std::string token;
  Instruction column = kNoColumn;

  bool operator==(const Finding&) const = default;
};

// A refusing finding of `rule`.
inline Finding MakeFinding(FindingRule rule, FindingField field = FindingField::kNone,
                           double value = 0.0, std::optional<double> limit = std::nullopt,
                           std::optional<double> lower = std::nullopt) {
  Finding finding;
  finding.rule = rule;
  finding.field = field;
  finding.value = value;
  finding.limit = limit;
  finding.lower = lower;
  return finding;
}

}  // namespace stravon
