// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "protocol/enumerations.h"

namespace stravon {

// One set of a test protocol: a stretch phase, a hold, a recovery and a rest,
// repeated NumReps times. The member names are the protocol file's keys.
//
// Despite "Sec" in their names, the four phase lengths are counted in the set's
// TimeUnits. A StretchDurationSec of 0 means the set does not stretch, a
// RecoveryDurationSec of 0 that it does not recover. Members marked "unused"
// are carried unchanged and take part in no computation.
struct TestSet {
  ControlMode XMode = ControlMode::Disp;  // unused
  ControlMode YMode = ControlMode::Disp;  // unused
  ControlMode ZMode = ControlMode::Disp;  // unused
  ControlFunction XFunction = ControlFunction::Ramp;
  ControlFunction YFunction = ControlFunction::Strain;
  ControlFunction ZFunction = ControlFunction::Ramp;
  MeasureUnit XUnits = MeasureUnit::Percent;
  MeasureUnit YUnits = MeasureUnit::Percent;
  MeasureUnit ZUnits = MeasureUnit::Percent;
  double XMagnitude = 10.0;
  double YMagnitude = 10.0;
  double ZMagnitude = 10.0;
  PreloadType XPreloadType = PreloadType::None;
  PreloadType YPreloadType = PreloadType::None;
  PreloadType ZPreloadType = PreloadType::None;
  double XPreloadMag = 0.0;  // unused
  double YPreloadMag = 0.0;  // unused
  double ZPreloadMag = 0.0;  // unused
  double StretchDurationSec = 10.0;
  double RecoveryDurationSec = 10.0;
  double HoldTimeSec = 0.0;
  double RestTimeSec = 0.0;
  std::int32_t NumReps = 1;
  DataFrequency DataFreqHz = DataFrequency::Hz1;     // unused
  ImageFrequency ImageFreqHz = ImageFrequency::Hz1;  // unused
  std::string Name = "Data1";                        // unused, shown nowhere
  double Tolerance = 5.0;                            // unused
  bool TolCorOver = false;                           // unused
  TimeUnit TimeUnits = TimeUnit::Seconds;

  bool operator==(const TestSet&) const = default;
};

}  // namespace stravon
