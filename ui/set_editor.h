// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_set.h"
#include "protocol/enumerations.h"
#include "protocol/finding.h"
#include "protocol/test_set.h"

namespace stravon {

// The entries of the editor's function list, in the order shown. Its time
// unit list shows kUnitTimeUnits by name: mSeconds and dSeconds cannot be
// chosen.
inline constexpr std::array<std::string_view, 2> kSetEditorFunctions = {"Ramp", "Sinusoid"};
inline constexpr int kNoSelection = -1;

// The set editor's fields as typed. Number fields are texts so that a field
// holding no number can be told apart; the phase lengths are in the selected
// time unit. A ticked check box disables its length box, which then holds 0.
struct SetEditorFields {
  int function = kNoSelection;  // index into kSetEditorFunctions
  std::string magnitude;        // mm
  std::string stretch;
  std::string hold;
  std::string recovery;
  std::string rest;
  std::string repetitions;
  int time_unit = kNoSelection;  // index into kUnitTimeUnits
  bool do_not_stretch = false;
  bool do_not_recover = false;

  bool operator==(const SetEditorFields&) const = default;
};

// Identifies the field a prompt is about, so the front end can focus it.
enum class SetEditorField {
  Function,
  Magnitude,
  TimeUnit,
  Stretch,
  Hold,
  Recovery,
  Rest,
  Repetitions,
};

// The hardware values the checks use, taken from the current hardware
// settings when the editor opens; later changes do not affect an open editor.
struct SetEditorLimits {
  double travel_soft_limit = 0.0;  // mm
  double motor_pitch = 0.0;        // mm per motor step
};

struct SetEditorResult {
  enum class Outcome {
    kFieldError,  // `field` holds no valid entry; `message` is its prompt
    kRefused,     // `message` holds every failed check, in order
    kAccepted,    // `set` is the edited set
  };
  Outcome outcome = Outcome::kRefused;
  SetEditorField field = SetEditorField::Magnitude;
  std::string message;
  std::vector<Finding> findings;  // what `message` says
  TestSet set;
};

// The editor's entries as it holds them once the fields are read: the
// lengths and magnitude in single precision, the phase lengths in
// `time_unit`, a ticked phase 0.
struct SetEditorValues {
  ControlFunction function = ControlFunction::Ramp;
  TimeUnit time_unit = TimeUnit::Seconds;
  float magnitude = 0.0f;  // mm
  float stretch = 0.0f;
  float hold = 0.0f;
  float recovery = 0.0f;
  float rest = 0.0f;
  std::int64_t repetitions = 0;
  bool do_not_stretch = false;
  bool do_not_recover = false;
};

// The editor's checks on its entries: every failed one, in the order its box
// lists them, each refusing.
std::vector<Finding> CheckSetEditorValues(const SetEditorValues& values,
                                          const SetEditorLimits& limits);

// Which finding field a set editor field is.
FindingField FindingFieldOf(SetEditorField field);

// The fields for a set. A function or time unit the lists do not offer opens
// with no entry selected; a stretch or recovery of 0 or less opens ticked.
SetEditorFields OpenSetEditor(const TestSet& set);

// A click on "Do Not Stretch" / "Do Not Recover": ticking sets the length to 0;
// clearing leaves it at 0 for the operator to fill in.
void SetDoNotStretch(SetEditorFields& fields, bool ticked);
void SetDoNotRecover(SetEditorFields& fields, bool ticked);

// OK. The first field that holds no valid entry stops everything, in the order
// the fields are read: magnitude, recovery, repetitions, rest, hold, stretch,
// function, time unit. Otherwise every check runs and either all the messages
// of those that failed come back, or `set` with the edited members written
// (the lengths and magnitude as their single-precision values) and the others
// as they were.
SetEditorResult AcceptSetEditor(const SetEditorFields& typed, const TestSet& set,
                                const SetEditorLimits& limits);

}  // namespace stravon
