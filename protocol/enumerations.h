// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string_view>

namespace stravon {

// The enumerations of a set's members. Each is a scoped enumeration over a
// 32-bit signed integer, so a member may hold any value, including -1 after a
// failed conversion from a name or a number decoded from the unit's memory
// (static_cast<ControlFunction>(7) is fine). Values outside a table have the
// "Invalid..." name of their enumeration.

enum class ControlMode : std::int32_t {
  Disp = 0,
  Force = 1,
};

// Step is 3, not 0: the numbers are stored in files and in the unit's memory.
enum class ControlFunction : std::int32_t {
  Ramp = 0,
  Strain = 1,
  Custom = 2,
  Step = 3,
  Sinusoid = 4,
};

enum class PreloadType : std::int32_t {
  None = 0,
  First = 1,  // preload in the first repetition only
  Every = 2,  // preload in every repetition
};

// Names: "%", "um", "mN", "uN", "mm", "N".
enum class MeasureUnit : std::int32_t {
  Percent = 0,
  Micrometre = 1,
  MilliNewton = 2,
  MicroNewton = 3,
  Millimetre = 4,
  Newton = 5,
};

// Names: "Seconds", "Minutes", "Hours", "Days", "mSeconds", "dSeconds".
enum class TimeUnit : std::int32_t {
  Seconds = 0,
  Minutes = 1,
  Hours = 2,
  Days = 3,
  MSeconds = 4,  // thousandths of a second
  DSeconds = 5,  // tenths of a second
};

// Data rate; the name is the rate in hertz ("100", ..., "0.001", "0").
enum class DataFrequency : std::int32_t {
  Hz100 = 0,
  Hz60 = 1,
  Hz30 = 2,
  Hz15 = 3,
  Hz10 = 4,
  Hz5 = 5,
  Hz1 = 6,
  Hz0_1 = 7,
  Hz0_01 = 8,
  Hz0_001 = 9,
  Hz0 = 10,
};

// Image rate; the name is the rate in hertz ("60", ..., "0.001", "0").
enum class ImageFrequency : std::int32_t {
  Hz60 = 0,
  Hz30 = 1,
  Hz15 = 2,
  Hz5 = 3,
  Hz1 = 4,
  Hz0_1 = 5,
  Hz0_01 = 6,
  Hz0_001 = 7,
  Hz0 = 8,
};

// One value per TestSet member that a protocol file can name as a column; the
// names are the file's column keys.
enum class Instruction : std::int32_t {
  Name = 0,
  XMode = 1,
  XFunction = 2,
  XUnits = 3,
  XMagnitude = 4,
  XPreloadType = 5,
  XPreloadMag = 6,
  YMode = 7,
  YFunction = 8,
  YUnits = 9,
  YMagnitude = 10,
  YPreloadType = 11,
  YPreloadMag = 12,
  ZMode = 13,
  ZFunction = 14,
  ZUnits = 15,
  ZMagnitude = 16,
  ZPreloadType = 17,
  ZPreloadMag = 18,
  StretchDurationSec = 19,
  RecoveryDurationSec = 20,
  HoldTimeSec = 21,
  RestTimeSec = 22,
  NumReps = 23,
  DataFreqHz = 24,
  ImageFreqHz = 25,
  Tolerance = 26,
  TolCorOver = 27,
  TimeUnits = 28,
};

// Value to name. Never fails: a value outside the table gives the
// enumeration's "Invalid..." name. The texts are static.
std::string_view ControlModeName(ControlMode value);
std::string_view ControlFunctionName(ControlFunction value);
std::string_view PreloadTypeName(PreloadType value);
std::string_view MeasureUnitName(MeasureUnit value);
std::string_view TimeUnitName(TimeUnit value);
std::string_view TimeUnitShortName(TimeUnit value);  // "S", "m", "h", "d", "mS", "dS"
std::string_view DataFrequencyName(DataFrequency value);
std::string_view ImageFrequencyName(ImageFrequency value);
std::string_view InstructionName(Instruction value);

// Seconds in one unit (0.001 for mSeconds); 1 for a value outside the table.
double SecondsPerTimeUnit(TimeUnit value);

// Name to value; -1 when the text is not recognised.
// Case-insensitive (ASCII letters only), whole text:
ControlMode ControlModeFromName(std::string_view text);
ControlFunction ControlFunctionFromName(std::string_view text);
PreloadType PreloadTypeFromName(std::string_view text);
TimeUnit TimeUnitFromName(std::string_view text);  // long names only
Instruction InstructionFromName(std::string_view text);
// Case-sensitive, whole text ("mm" is Millimetre, "MM" is -1):
MeasureUnit MeasureUnitFromName(std::string_view text);
// Numeric: the text's leading number (0.0 when there is none, so "abc" gives
// the 0 Hz value) compared exactly with the rates, including the extra rates
// accepted when reading (25 -> Hz30 and 2.5 -> Hz5; 10 -> image Hz5).
DataFrequency DataFrequencyFromName(std::string_view text);
ImageFrequency ImageFrequencyFromName(std::string_view text);

}  // namespace stravon
