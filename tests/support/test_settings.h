// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "device/hardware_settings.h"

// The units that tests, benchmarks and fuzz targets work with, by name, so
// that a calibration is written down once.
namespace stravon::test_support {

// A factory-fresh P1 unit: the calibration the simulated unit holds until
// its settings are programmed.
inline HardwareSettings FactorySettings() { return DefaultSeriesSettings(); }

// The factory pitch with a long travel and a 20 mm minimum specimen size, so
// that percent magnitudes and long ramps both have room.
inline HardwareSettings LongTravelSettings() {
  HardwareSettings settings = FactorySettings();
  settings.MinimumSpecimenSize = 20.0f;
  settings.TravelSoftLimit = 38.0f;
  return settings;
}

// An R series unit with a coarse pitch.
inline HardwareSettings CoarseSettings() {
  HardwareSettings settings;
  settings.MotorPitch = 0.00635f;
  settings.MinimumSpecimenSize = 2.0f;
  settings.TravelSoftLimit = 25.0f;
  settings.Stroke = -4409;
  settings.OffsetPosition = 400;
  settings.SeriesName = {'R', '6', '\0', '\0'};
  settings.ModelNumber = 6;
  return settings;
}

// A W series unit with a fine pitch.
inline HardwareSettings FineSettings() {
  HardwareSettings settings;
  settings.MotorPitch = 0.0015875f;
  settings.MinimumSpecimenSize = 1.0f;
  settings.TravelSoftLimit = 14.0f;
  settings.Stroke = -8819;
  settings.OffsetPosition = 315;
  settings.SeriesName = {'W', 'Z', '\0', '\0'};
  settings.ModelNumber = 2;
  return settings;
}

}  // namespace stravon::test_support
