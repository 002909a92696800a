// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/test_sequence.h"

#include <cstddef>
#include <string>

#include "protocol/enumerations.h"
#include "protocol/number_text.h"

namespace stravon {
namespace {

constexpr const char* kUnknown = "Unknown";

// "%.1f (%s)" with the set's short time-unit name.
std::string LengthText(double length, TimeUnit unit) {
  std::string text = FormatFixed(length, 1);
  text += " (";
  text += TimeUnitShortName(unit);
  text += ')';
  return text;
}

// Stretch and recovery lengths of 0 or less mean the phase is left out.
std::string OptionalLengthText(double length, TimeUnit unit) {
  return length <= 0.0 ? std::string("None") : LengthText(length, unit);
}

}  // namespace

const TestSet* TestSequence::SetAt(int i) const {
  if (i < 0 || static_cast<std::size_t>(i) >= sets.size()) return nullptr;
  return &sets[static_cast<std::size_t>(i)];
}

int TestSequence::Repetitions(int i) const {
  const TestSet* set = SetAt(i);
  return set ? set->NumReps : 0;
}

double TestSequence::PreloadAllowance(int i) const {
  const TestSet* set = SetAt(i);
  if (!set || set->NumReps <= 0) return 0.0;
  // Two units for every repetition that preloads; Z does not count. Counted in
  // closed form: a loop over NumReps would take seconds for a huge count.
  const bool every =
      set->XPreloadType == PreloadType::Every || set->YPreloadType == PreloadType::Every;
  const bool first =
      set->XPreloadType == PreloadType::First || set->YPreloadType == PreloadType::First;
  if (every) return 2.0 * set->NumReps;
  return first ? 2.0 : 0.0;
}

double TestSequence::SetDurationSeconds(int i) const {
  const TestSet* set = SetAt(i);
  if (!set) return 0.0;
  const double cycle =
      set->StretchDurationSec + set->RecoveryDurationSec + set->HoldTimeSec + set->RestTimeSec;
  const double own_units = PreloadAllowance(i) + cycle * set->NumReps;
  return own_units * SecondsPerTimeUnit(set->TimeUnits);
}

std::string TestSequence::FunctionMagnitudeText(int i) const {
  const TestSet* set = SetAt(i);
  if (!set) return kUnknown;
  std::string text(ControlFunctionName(set->XFunction));
  text += ' ';
  text += FormatFixed(set->XMagnitude, 1);
  text += " (";
  text += MeasureUnitName(set->XUnits);
  text += ')';
  return text;
}

std::string TestSequence::StretchDurationText(int i) const {
  const TestSet* set = SetAt(i);
  return set ? OptionalLengthText(set->StretchDurationSec, set->TimeUnits) : kUnknown;
}

std::string TestSequence::HoldDurationText(int i) const {
  const TestSet* set = SetAt(i);
  return set ? LengthText(set->HoldTimeSec, set->TimeUnits) : kUnknown;
}

std::string TestSequence::RecoveryDurationText(int i) const {
  const TestSet* set = SetAt(i);
  return set ? OptionalLengthText(set->RecoveryDurationSec, set->TimeUnits) : kUnknown;
}

std::string TestSequence::RestDurationText(int i) const {
  const TestSet* set = SetAt(i);
  return set ? LengthText(set->RestTimeSec, set->TimeUnits) : kUnknown;
}

}  // namespace stravon
