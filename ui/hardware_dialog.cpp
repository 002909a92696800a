#include "ui/hardware_dialog.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "device/saturating_cast.h"
#include "protocol/number_text.h"
#include "ui/field_text.h"

namespace stravon {
namespace {

// What the unit's own test accepts when it reads its settings back. Outside
// these the unit would look unprogrammed after the next connection.
constexpr float kMaximumSoftLimit = 43.0f;
constexpr float kMinimumSoftLimit = 5.0f;
constexpr double kMinimumPitch = 0.00001;
constexpr double kMaximumPitch = 0.015857;
constexpr std::size_t kMaximumSeriesLength = 3;

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

// The floor of a single-precision quotient as a step count.
std::int32_t FloorSteps(float quotient) { return TruncToInt32(std::floor(quotient)); }

}  // namespace

HardwareDialog::HardwareDialog(const HardwareSettings& current, SettingsStore& settings)
    : current_(current),
      factory_access_(ReadFactoryAccess(settings) != 0),
      series_name_(SeriesText(current.SeriesName)),
      model_number_(current.ModelNumber),
      offset_(current.Offset()),
      soft_limit_(current.TravelSoftLimit),
      stroke_(current.ActuatorStroke()),
      pitch_(current.MotorPitch) {}

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

  series_name_ = typed.series_name;
  std::int64_t model = 0;
  if (!ParseIntegerField(typed.model_number, std::numeric_limits<std::int32_t>::min(),
                         std::numeric_limits<std::int32_t>::max(), model)) {
    return field_error(HardwareDialogField::ModelNumber, kEnterInteger);
  }
  model_number_ = static_cast<std::int32_t>(model);
  if (!ParseFloatField(typed.offset, offset_)) {
    return field_error(HardwareDialogField::Offset, kEnterNumber);
  }
  if (!ParseFloatField(typed.travel_soft_limit, soft_limit_)) {
    return field_error(HardwareDialogField::TravelSoftLimit, kEnterNumber);
  }
  if (!ParseFloatField(typed.actuator_stroke, stroke_)) {
    return field_error(HardwareDialogField::ActuatorStroke, kEnterNumber);
  }
  if (!ParseNumberField(typed.motor_pitch, pitch_)) {
    return field_error(HardwareDialogField::MotorPitch, kEnterNumber);
  }

  HardwareSettings& settings = result.settings;
  settings.MotorPitch = static_cast<float>(pitch_);
  settings.MinimumSpecimenSize = 0.0f;
  settings.TravelSoftLimit = soft_limit_;
  settings.ModelNumber = model_number_;
  const float pitch = current_.MotorPitch;
  settings.Stroke = FloorSteps(stroke_ * -1.0f / pitch);
  settings.OffsetPosition = FloorSteps(offset_ / pitch + static_cast<float>(kHomePosition));

  std::string& errors = result.message;
  if (series_name_.size() > kMaximumSeriesLength) {
    errors += "Error:  Maximum Series Name Length = 3 Characters\n";
  } else {
    std::memcpy(settings.SeriesName.data(), series_name_.data(), series_name_.size());
  }
  if (soft_limit_ > kMaximumSoftLimit) {
    errors += "Error:  Maximum Travel Upper Limit Exceeded.\n\tMaximum Travel = " +
              FormatFixed(kMaximumSoftLimit, 6) + "\n";
  } else if (soft_limit_ < kMinimumSoftLimit) {
    errors += "Error:  Minimum Travel Soft Limit Not Reached.\n\tMinimum Travel = " +
              FormatFixed(kMinimumSoftLimit, 6) + "\n";
  }
  // Compared as the unit compares it: the single-precision value, widened.
  const double posted_pitch = settings.MotorPitch;
  if (!(posted_pitch >= kMinimumPitch && posted_pitch <= kMaximumPitch)) {
    errors += "Error:  Motor Pitch Outside of Valid Range.\n\tValid Range = 0.00001 to 0.015857\n";
  }
  result.outcome = errors.empty() ? HardwareProgramResult::Outcome::kPost
                                  : HardwareProgramResult::Outcome::kRefused;
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
  return Fields();
}

}  // namespace stravon
