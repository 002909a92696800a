#pragma once

#include "device/hardware_settings.h"

namespace stravon::fuzz {

// A unit's factory calibration, so that compiles and decodes see realistic numbers.
inline HardwareSettings FactorySettings() {
  HardwareSettings settings;
  settings.MotorPitch = 0.003175f;
  settings.MinimumSpecimenSize = 5.0f;
  settings.TravelSoftLimit = 7.2f;
  settings.Stroke = -5000;
  settings.OffsetPosition = 630;
  settings.SeriesName = {'P', '1', '\0', '\0'};
  settings.ModelNumber = 1;
  return settings;
}

}  // namespace stravon::fuzz
