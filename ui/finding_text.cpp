// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/finding_text.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "protocol/number_text.h"
#include "ui/field_text.h"

namespace stravon {
namespace {

constexpr std::size_t kShownFileFindings = 10;
constexpr std::size_t kExcerptLength = 24;

std::string Integer(double value) { return std::to_string(static_cast<std::int64_t>(value)); }

// As few digits as read back to the value, without an exponent: 0.00001.
std::string Shortest(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

// The set editor's field labels.
std::string_view FieldLabel(FindingField field) {
  switch (field) {
    case FindingField::kFunction:
      return "Control Function";
    case FindingField::kMagnitude:
      return "Stretch Magnitude";
    case FindingField::kTimeUnit:
      return "Time Units";
    case FindingField::kStretch:
      return "Stretch Duration";
    case FindingField::kHold:
      return "Hold Duration";
    case FindingField::kRecovery:
      return "Recovery Duration";
    case FindingField::kRest:
      return "Rest Duration";
    case FindingField::kRepetitions:
      return "Repetitions";
    default:
      return "";
  }
}

// A phase or pause as the set editor's checks name it.
std::string_view PhaseName(FindingField field) {
  switch (field) {
    case FindingField::kStretch:
      return "Stretch";
    case FindingField::kRecovery:
      return "Recovery";
    case FindingField::kHold:
      return "Hold";
    case FindingField::kRest:
      return "Rest";
    default:
      return "";
  }
}

std::string_view SettingName(FindingField field) {
  switch (field) {
    case FindingField::kMotorPitch:
      return "Motor Pitch";
    case FindingField::kActuatorStroke:
      return "Actuator Stroke";
    case FindingField::kOffset:
      return "Offset";
    case FindingField::kModelNumber:
      return "Model Number";
    default:
      return "";
  }
}

std::string ValidRange(const Finding& finding) {
  const double lower = finding.lower.value_or(0.0);
  const double limit = finding.limit.value_or(0.0);
  switch (finding.field) {
    case FindingField::kMotorPitch:
      return Shortest(lower) + " to " + Shortest(limit);
    case FindingField::kActuatorStroke:
      return "more than " + FormatSignificant(lower, 6) + " to " + FormatSignificant(limit, 6) +
             " mm";
    case FindingField::kOffset:
      // Without a valid stroke there are no numbers to give.
      if (!finding.limit) return "within the actuator stroke";
      return FormatSignificant(lower, 6) + " to " + FormatSignificant(limit, 6) + " mm";
    default:
      return Integer(lower) + " to " + Integer(limit);
  }
}

std::string_view Prompt(FindingRule rule) {
  switch (rule) {
    case FindingRule::kNotANumber:
      return kEnterNumber;
    case FindingRule::kNotAPositiveInteger:
      return kEnterPositiveInteger;
    case FindingRule::kSelectFunction:
      return "Select a Control Function.";
    case FindingRule::kSelectTimeUnit:
      return "Select a Time Unit.";
    default:
      return "";
  }
}

// The text after "line N: ", or the whole text of a file finding without a line.
std::string FileText(const Finding& f) {
  switch (f.rule) {
    case FindingRule::kNoProtocol:
      return "the file holds no protocol (not even a header)";
    case FindingRule::kUnknownColumn:
      return "unknown column " + Quoted(f.token);
    case FindingRule::kRepeatedColumn:
      return "column " + Quoted(f.token) + " appears twice";
    case FindingRule::kValueCount:
      return Integer(f.value) + " values for " + Integer(f.limit.value_or(0.0)) + " columns";
    case FindingRule::kInvalidValue:
      return Quoted(f.token) + " is not a valid " + std::string(InstructionName(f.column));
    default:
      return "";
  }
}

}  // namespace

std::string FindingText(const Finding& f) {
  const std::string limit_fixed6 = FormatFixed(f.limit.value_or(0.0), 6);
  const std::string limit_fixed1 = FormatFixed(f.limit.value_or(0.0), 1);
  const std::string phase(PhaseName(f.field));
  const std::string set = f.set ? std::to_string(*f.set + 1) : "";
  switch (f.rule) {
    case FindingRule::kNoProtocol:
      return FileText(f);
    case FindingRule::kUnknownColumn:
    case FindingRule::kRepeatedColumn:
    case FindingRule::kValueCount:
    case FindingRule::kInvalidValue:
      return "line " + std::to_string(f.line) + ": " + FileText(f);

    case FindingRule::kNotANumber:
    case FindingRule::kNotAPositiveInteger:
    case FindingRule::kSelectFunction:
    case FindingRule::kSelectTimeUnit:
      return std::string(FieldLabel(f.field)) + ": " + std::string(Prompt(f.rule)) + "\n";

    case FindingRule::kMinimumPhase:
      return "Error:  Minimum non-zero " + phase +
             " duration = " + FormatFixed(f.limit.value_or(0.0), 2) + " S\n";
    case FindingRule::kNegativePause:
      return "Error:  Minimum " + phase + " duration = " + limit_fixed1 + " S\n";
    case FindingRule::kMinimumRepetitions:
      return "Error:  Minimum Repetitions = " + Integer(f.limit.value_or(0.0)) + "\n";
    case FindingRule::kPhaseTooFast:
      return "Error:  Maximum " + phase +
             " Velocity Exceeded.\n\tMinimum Duration = " + limit_fixed6 + "\n";
    case FindingRule::kPhaseTooSlow:
      return "Error:  Minimum " + phase +
             " Velocity Exceeded.\n\tMaximum Duration = " + limit_fixed6 + "\n";
    case FindingRule::kPauseTooLong:
      return "Error:  Maximum " + phase +
             " Duration Exceeded.\n\tMaximum Duration = " + limit_fixed6 + "\n";
    case FindingRule::kMagnitudeBeyondLimit:
      return "Error:  Maximum Stretch Magnitude = " + limit_fixed1 + "mm\n";
    case FindingRule::kAccumulatedBeyondLimit:
      return "Error:  Maximum Accumulated Stretch Magnitude = " + limit_fixed1 + "mm\n";

    case FindingRule::kNoSets:
      return "Please Specify a Test Sequence Before Executing";
    case FindingRule::kZeroLength:
      return "Error:  Test Sequence Must Be Greater Than 0 Seconds in Length";
    case FindingRule::kPositionBeyondLimit:
      return "Error:  Maximum Stretch Position\nAcross All Sets Must Be Less Than " + limit_fixed1 +
             "mm\n";
    case FindingRule::kPositionBelowZero:
      return "Error:  Minimum Stretch Position\nAcross All Sets Must Be Greater Than " +
             limit_fixed1 + " mm\n";
    case FindingRule::kMemoryFull:
      return "Error:  Not Enough Memory Available\nReduce Number of Specified Sets\n";
    case FindingRule::kRepetitionsBelowOne:
      return "Error:  Set " + set + ": Repetitions Must Be at Least 1\n";
    case FindingRule::kDurationNotALength:
      return "Error:  Set " + set + ": Durations Must Be Numbers of 0 or More\n";
    case FindingRule::kTimeUnitNotRun:
      return "Error:  Set " + set + ": Time Unit Must Be Seconds, Minutes, Hours or Days\n";
    case FindingRule::kMagnitudeNotANumber:
      return "Error:  Set " + set + ": Magnitude Must Be a Number\n";
    case FindingRule::kPercentOfNothing:
      return "Error:  Magnitude in Percent of a Minimum Specimen Size of 0 mm: the Set Does Not "
             "Move\n";
    case FindingRule::kNegativeMagnitude:
      return "Warning:  Negative Magnitude " + FormatGeneral(f.value) +
             ", the Actuator Moves Against the Stretch\n";

    case FindingRule::kSeriesNameTooLong:
      return "Error:  Maximum Series Name Length = " + Integer(f.limit.value_or(0.0)) +
             " Characters\n";
    case FindingRule::kSoftLimitAboveMaximum:
      return "Error:  Maximum Travel Upper Limit Exceeded.\n\tMaximum Travel = " + limit_fixed6 +
             "\n";
    case FindingRule::kSoftLimitBelowMinimum:
      return "Error:  Minimum Travel Soft Limit Not Reached.\n\tMinimum Travel = " + limit_fixed6 +
             "\n";
    case FindingRule::kSoftLimitBeyondStroke:
      return "Error:  Travel Soft Limit Exceeds the Actuator Stroke.\n\tMaximum Travel = " +
             limit_fixed6 + "\n";
    case FindingRule::kOutsideValidRange:
      return "Error:  " + std::string(SettingName(f.field)) +
             " Outside of Valid Range.\n\tValid Range = " + ValidRange(f) + "\n";
  }
  return "";
}

std::string FindingsText(const std::vector<Finding>& findings) {
  std::string text;
  for (const Finding& finding : findings) text += FindingText(finding);
  return text;
}

std::string FieldPrompt(const Finding& finding) { return std::string(Prompt(finding.rule)); }

std::string FileFindingsText(const std::string& path, const std::vector<Finding>& findings) {
  std::string text = path + " is not a well-formed protocol file:";
  const std::size_t shown = std::min(findings.size(), kShownFileFindings);
  for (std::size_t i = 0; i < shown; ++i) text += "\n  " + FindingText(findings[i]);
  if (shown < findings.size()) {
    text += "\n  and " + std::to_string(findings.size() - shown) + " more";
  }
  return text;
}

std::string Escaped(std::string_view text) {
  // No control character reaches the terminal, and every byte can be told
  // back from the text.
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || byte == '"' || byte == '\\') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      escaped += "\\x";
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0x0F];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string Quoted(std::string_view token) {
  // A file is anyone's bytes: a token of megabytes is not echoed whole.
  const std::size_t shown = std::min(token.size(), kExcerptLength);
  std::string text = "\"" + Escaped(token.substr(0, shown)) + "\"";
  if (shown < token.size()) text += "... (" + std::to_string(token.size()) + " bytes)";
  return text;
}

std::string_view FindingRuleName(FindingRule rule) {
  switch (rule) {
    case FindingRule::kNoProtocol:
      return "no_protocol";
    case FindingRule::kUnknownColumn:
      return "unknown_column";
    case FindingRule::kRepeatedColumn:
      return "repeated_column";
    case FindingRule::kValueCount:
      return "value_count";
    case FindingRule::kInvalidValue:
      return "invalid_value";
    case FindingRule::kNotANumber:
      return "not_a_number";
    case FindingRule::kNotAPositiveInteger:
      return "not_a_positive_integer";
    case FindingRule::kSelectFunction:
      return "no_function";
    case FindingRule::kSelectTimeUnit:
      return "no_time_unit";
    case FindingRule::kMinimumPhase:
      return "phase_too_short";
    case FindingRule::kNegativePause:
      return "negative_pause";
    case FindingRule::kMinimumRepetitions:
      return "too_few_repetitions";
    case FindingRule::kPhaseTooFast:
      return "phase_too_fast";
    case FindingRule::kPhaseTooSlow:
      return "phase_too_slow";
    case FindingRule::kPauseTooLong:
      return "pause_too_long";
    case FindingRule::kMagnitudeBeyondLimit:
      return "magnitude_beyond_soft_limit";
    case FindingRule::kAccumulatedBeyondLimit:
      return "accumulated_magnitude_beyond_soft_limit";
    case FindingRule::kNoSets:
      return "no_sets";
    case FindingRule::kZeroLength:
      return "zero_length";
    case FindingRule::kPositionBeyondLimit:
      return "position_beyond_soft_limit";
    case FindingRule::kPositionBelowZero:
      return "position_below_zero";
    case FindingRule::kMemoryFull:
      return "memory_full";
    case FindingRule::kRepetitionsBelowOne:
      return "repetitions_below_one";
    case FindingRule::kDurationNotALength:
      return "duration_not_a_length";
    case FindingRule::kTimeUnitNotRun:
      return "time_unit_not_run";
    case FindingRule::kMagnitudeNotANumber:
      return "magnitude_not_a_number";
    case FindingRule::kPercentOfNothing:
      return "percent_of_zero_minimum_size";
    case FindingRule::kNegativeMagnitude:
      return "negative_magnitude";
    case FindingRule::kSeriesNameTooLong:
      return "series_name_too_long";
    case FindingRule::kSoftLimitAboveMaximum:
      return "soft_limit_above_maximum";
    case FindingRule::kSoftLimitBelowMinimum:
      return "soft_limit_below_minimum";
    case FindingRule::kSoftLimitBeyondStroke:
      return "soft_limit_beyond_stroke";
    case FindingRule::kOutsideValidRange:
      return "outside_valid_range";
  }
  return "";
}

std::string_view FindingFieldName(FindingField field) {
  switch (field) {
    case FindingField::kNone:
      return "";
    case FindingField::kFunction:
      return "function";
    case FindingField::kMagnitude:
      return "magnitude";
    case FindingField::kTimeUnit:
      return "time_unit";
    case FindingField::kStretch:
      return "stretch";
    case FindingField::kHold:
      return "hold";
    case FindingField::kRecovery:
      return "recovery";
    case FindingField::kRest:
      return "rest";
    case FindingField::kRepetitions:
      return "repetitions";
    case FindingField::kSeriesName:
      return "series_name";
    case FindingField::kModelNumber:
      return "model_number";
    case FindingField::kOffset:
      return "offset";
    case FindingField::kTravelSoftLimit:
      return "travel_soft_limit";
    case FindingField::kActuatorStroke:
      return "actuator_stroke";
    case FindingField::kMotorPitch:
      return "motor_pitch";
  }
  return "";
}

std::string_view SeverityName(Severity severity) {
  return severity == Severity::kRefuses ? "refuses" : "warns";
}

}  // namespace stravon
