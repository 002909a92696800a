// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/hardware_dialog.h"

#include <cstring>
#include <limits>

#include "protocol/number_text.h"
#include "ui/field_text.h"
#include "ui/finding_text.h"
#include "ui/settings_judgement.h"

namespace stravon {
namespace {

std::string SeriesText(const std::array<char, 4>& name) {
  std::size_t length = 0;
  while (length < name.size() && name[length] != '\0') ++length;
  return std::string(name.data(), length);
}

std::string ShowSingle(float value) { return FormatSignificant(value, 6); }

// Written back at once, so that the setting exists (as 0) after the first
// opening and can be found and changed by hand.
std::int32_t ReadFactoryAccess(SettingsStore& settings) {
  const std::int32_t value = settings.ReadInteger(kSettingsSection, kFactoryAccessValue, 0);
  settings.WriteInteger(kSettingsSection, kFactoryAccessValue, value);
  return value;
}

}  // namespace

HardwareDialog::HardwareDialog(const HardwareSettings& current, SettingsStore& settings)
    : current_(current),
      factory_access_(ReadFactoryAccess(settings) != 0),
      series_name_(SeriesText(current.SeriesName)),
      model_number_(current.ModelNumber),
      offset_(current.Offset()),
      soft_limit_(current.TravelSoftLimit),
      stroke_(current.ActuatorStroke()),
      pitch_(current.MotorPitch),
      shown_(Fields()) {}

HardwareDialogFields HardwareDialog::Fields() const {
  return {series_name_,        std::to_string(model_number_),
          ShowSingle(offset_), ShowSingle(soft_limit_),
          ShowSingle(stroke_), FormatSignificant(pitch_, 15)};
}

HardwareProgramResult HardwareDialog::Program(const HardwareDialogFields& typed) {
  HardwareProgramResult result;
  auto field_error = [&result](HardwareDialogField field, std::string_view prompt) {
    result.outcome = HardwareProgramResult::Outcome::kFieldError;
    result.field = field;
    result.message = std::string(prompt);
    return result;
  };

  // A field still showing the text the dialog showed keeps the value it
  // stands for exactly: the text is that value rounded to six digits, and
  // read back it could move the offset or the stroke by a step.
  series_name_ = typed.series_name;
  shown_.series_name = typed.series_name;
  if (typed.model_number != shown_.model_number) {
    std::int64_t model = 0;
    if (!ParseIntegerField(typed.model_number, std::numeric_limits<std::int32_t>::min(),
                           std::numeric_limits<std::int32_t>::max(), model)) {
      return field_error(HardwareDialogField::ModelNumber, kEnterInteger);
    }
    model_number_ = static_cast<std::int32_t>(model);
    shown_.model_number = typed.model_number;
  }
  if (typed.offset != shown_.offset) {
    if (!ParseFloatField(typed.offset, offset_)) {
      return field_error(HardwareDialogField::Offset, kEnterNumber);
    }
    offset_from_unit_ = false;
    shown_.offset = typed.offset;
  }
  if (typed.travel_soft_limit != shown_.travel_soft_limit) {
    if (!ParseFloatField(typed.travel_soft_limit, soft_limit_)) {
      return field_error(HardwareDialogField::TravelSoftLimit, kEnterNumber);
    }
    shown_.travel_soft_limit = typed.travel_soft_limit;
  }
  if (typed.actuator_stroke != shown_.actuator_stroke) {
    if (!ParseFloatField(typed.actuator_stroke, stroke_)) {
      return field_error(HardwareDialogField::ActuatorStroke, kEnterNumber);
    }
    stroke_from_unit_ = false;
    shown_.actuator_stroke = typed.actuator_stroke;
  }
  if (typed.motor_pitch != shown_.motor_pitch) {
    if (!ParseNumberField(typed.motor_pitch, pitch_)) {
      return field_error(HardwareDialogField::MotorPitch, kEnterNumber);
    }
    shown_.motor_pitch = typed.motor_pitch;
  }

  const float pitch = current_.MotorPitch;
  result.message = FindingsText(JudgeHardwareSettings(
      {series_name_, model_number_, offset_, soft_limit_, stroke_, pitch_}, pitch));
  if (!result.message.empty()) {
    result.outcome = HardwareProgramResult::Outcome::kRefused;
    return result;
  }
  HardwareSettings& settings = result.settings;
  settings.MotorPitch = NarrowToFloat(pitch_);
  // No field shows it: programmed as the unit holds it, so that percent
  // magnitudes keep their base.
  settings.MinimumSpecimenSize = current_.MinimumSpecimenSize;
  settings.TravelSoftLimit = soft_limit_;
  settings.ModelNumber = model_number_;
  settings.Stroke = stroke_from_unit_ ? current_.Stroke : StrokeSteps(stroke_, pitch);
  settings.OffsetPosition =
      offset_from_unit_ ? current_.OffsetPosition : OffsetSteps(offset_, pitch);
  std::memcpy(settings.SeriesName.data(), series_name_.data(), series_name_.size());
  result.outcome = HardwareProgramResult::Outcome::kPost;
  return result;
}

HardwareDialogFields HardwareDialog::RestoreDefaults() {
  const bool p_series = series_name_ == "P" || series_name_ == "P1";
  const bool r_series = series_name_ == "R" || series_name_ == "R6";
  const bool w_series = series_name_ == "W" || series_name_ == "WZ";
  if (p_series) {
    soft_limit_ = 7.2f;
    stroke_ = 15.875f;
    offset_ = 0.0f;
    series_name_ = "P1";
    model_number_ = 1;
  } else if (r_series) {
    soft_limit_ = 25.0f;
    stroke_ = 28.0f;
    offset_ = 0.0f;
    series_name_ = "R6";
    model_number_ = 6;
  } else if (w_series) {
    soft_limit_ = 14.0f;
    stroke_ = 14.0f;
    offset_ = 0.0f;
    series_name_ = "WZ";
    if (model_number_ == 2) {
      pitch_ = 0.000396875;
    } else {
      model_number_ = 1;
    }
  }
  if (p_series || r_series || w_series) {
    offset_from_unit_ = false;
    stroke_from_unit_ = false;
  }
  shown_ = Fields();
  return shown_;
}

}  // namespace stravon
