// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "device/hardware_settings.h"
#include "ui/settings_store.h"

namespace stravon {

// The six fields of the hardware settings dialog as typed, in the order they
// are read.
struct HardwareDialogFields {
  std::string series_name;
  std::string model_number;
  std::string offset;             // mm
  std::string travel_soft_limit;  // mm
  std::string actuator_stroke;    // mm
  std::string motor_pitch;        // mm per motor step

  bool operator==(const HardwareDialogFields&) const = default;
};

enum class HardwareDialogField {
  SeriesName,
  ModelNumber,
  Offset,
  TravelSoftLimit,
  ActuatorStroke,
  MotorPitch,
};

struct HardwareProgramResult {
  enum class Outcome {
    kFieldError,  // `field` holds no number; `message` is the prompt
    kRefused,     // `message` holds every finding, one "Error:  " text each
    kPost,        // `settings` is what to program
  };
  Outcome outcome = Outcome::kRefused;
  HardwareDialogField field = HardwareDialogField::SeriesName;
  std::string message;
  HardwareSettings settings;
};

// The logic of the hardware settings dialog. It holds the six values; the
// fields show them, Program reads the fields back into them, and Restore
// Defaults works on them, never on what is currently typed.
//
// Conversions between millimetres and steps use the pitch of the settings the
// dialog was opened with (what the unit holds), not the pitch typed in.
class HardwareDialog {
 public:
  // Reads the factory-access setting (absent counts as 0, any other value as
  // access) and writes it back, so that it exists after the first opening.
  HardwareDialog(const HardwareSettings& current, SettingsStore& settings);

  // With factory access the pitch field and its label are shown and the
  // series name, model number and stroke are editable; without, the pitch is
  // hidden and the other three are read-only.
  bool FactoryAccess() const { return factory_access_; }

  // The held values as the fields show them.
  HardwareDialogFields Fields() const;

  // Reads the fields in order, stopping at the first that holds no number
  // (the fields before it are taken), then judges the values as every front
  // end does (settings_judgement.h). A field whose text is still what the
  // dialog showed keeps its held value exactly; an offset or stroke the unit
  // gave keeps its step count. Posting is the caller's: the pending settings
  // first, then the operation code.
  HardwareProgramResult Program(const HardwareDialogFields& typed);

  // Sets the defaults of the held series (compared case-sensitively) and
  // returns the fields to show.
  HardwareDialogFields RestoreDefaults();

 private:
  HardwareSettings current_;
  bool factory_access_;
  std::string series_name_;
  std::int32_t model_number_;
  float offset_;      // mm
  float soft_limit_;  // mm
  float stroke_;      // mm
  double pitch_;      // mm per step
  // Still the unit's own values, posted as the step counts it holds.
  bool offset_from_unit_ = true;
  bool stroke_from_unit_ = true;
  // The texts as last shown, or as last read without a prompt.
  HardwareDialogFields shown_;
};

}  // namespace stravon
