// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/enumerations.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/number_text.h"

namespace stravon {
namespace {

// The name at `value` in `names`, or `invalid` when the value is outside it.
template <std::size_t N>
std::string_view NameAt(const std::array<std::string_view, N>& names, std::int32_t value,
                        std::string_view invalid) {
  if (value < 0 || static_cast<std::size_t>(value) >= N) return invalid;
  return names[static_cast<std::size_t>(value)];
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Whole-text comparison that folds only the ASCII letters; other bytes,
// including those of other character sets, must be equal.
bool EqualsIgnoringAsciiCase(std::string_view text, std::string_view name) {
  if (text.size() != name.size()) return false;
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (AsciiUpper(text[k]) != AsciiUpper(name[k])) return false;
  }
  return true;
}

template <std::size_t N>
std::int32_t IndexIgnoringCase(const std::array<std::string_view, N>& names,
                               std::string_view text) {
  for (std::size_t k = 0; k < N; ++k) {
    if (EqualsIgnoringAsciiCase(text, names[k])) return static_cast<std::int32_t>(k);
  }
  return -1;
}

constexpr std::array<std::string_view, 2> kControlModeNames = {"Disp", "Force"};
constexpr std::array<std::string_view, 5> kControlFunctionNames = {"Ramp", "Strain", "Custom",
                                                                   "Step", "Sinusoid"};
constexpr std::array<std::string_view, 3> kPreloadTypeNames = {"None", "First", "Every"};
constexpr std::array<std::string_view, 6> kMeasureUnitNames = {"%", "um", "mN", "uN", "mm", "N"};
constexpr std::array<std::string_view, 6> kTimeUnitNames = {"Seconds", "Minutes",  "Hours",
                                                            "Days",    "mSeconds", "dSeconds"};
constexpr std::array<std::string_view, 6> kTimeUnitShortNames = {"S", "m", "h", "d", "mS", "dS"};
constexpr std::array<double, 6> kSecondsPerTimeUnit = {1.0, 60.0, 3600.0, 86400.0, 0.001, 0.1};
constexpr std::array<std::string_view, 11> kDataFrequencyNames = {
    "100", "60", "30", "15", "10", "5", "1", "0.1", "0.01", "0.001", "0"};
constexpr std::array<double, 11> kDataFrequencyRates = {100, 60,  30,   15,    10, 5,
                                                        1,   0.1, 0.01, 0.001, 0.0};
constexpr std::array<std::string_view, 9> kImageFrequencyNames = {"60",  "30",   "15",    "5", "1",
                                                                  "0.1", "0.01", "0.001", "0"};
constexpr std::array<double, 9> kImageFrequencyRates = {60, 30, 15, 5, 1, 0.1, 0.01, 0.001, 0.0};
constexpr std::array<std::string_view, 29> kInstructionNames = {"Name",
                                                                "XMode",
                                                                "XFunction",
                                                                "XUnits",
                                                                "XMagnitude",
                                                                "XPreloadType",
                                                                "XPreloadMag",
                                                                "YMode",
                                                                "YFunction",
                                                                "YUnits",
                                                                "YMagnitude",
                                                                "YPreloadType",
                                                                "YPreloadMag",
                                                                "ZMode",
                                                                "ZFunction",
                                                                "ZUnits",
                                                                "ZMagnitude",
                                                                "ZPreloadType",
                                                                "ZPreloadMag",
                                                                "StretchDurationSec",
                                                                "RecoveryDurationSec",
                                                                "HoldTimeSec",
                                                                "RestTimeSec",
                                                                "NumReps",
                                                                "DataFreqHz",
                                                                "ImageFreqHz",
                                                                "Tolerance",
                                                                "TolCorOver",
                                                                "TimeUnits"};

template <std::size_t N>
std::int32_t IndexOfRate(const std::array<double, N>& rates, double rate) {
  for (std::size_t k = 0; k < N; ++k) {
    if (rates[k] == rate) return static_cast<std::int32_t>(k);
  }
  return -1;
}

template <typename E>
std::int32_t Raw(E value) {
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::string_view ControlModeName(ControlMode value) {
  return NameAt(kControlModeNames, Raw(value), "InvalidMode");
}
std::string_view ControlFunctionName(ControlFunction value) {
  return NameAt(kControlFunctionNames, Raw(value), "InvalidFunction");
}
std::string_view PreloadTypeName(PreloadType value) {
  return NameAt(kPreloadTypeNames, Raw(value), "InvalidPreloadType");
}
std::string_view MeasureUnitName(MeasureUnit value) {
  return NameAt(kMeasureUnitNames, Raw(value), "InvalidUnits");
}
std::string_view TimeUnitName(TimeUnit value) {
  return NameAt(kTimeUnitNames, Raw(value), "InvalidMode");
}
std::string_view TimeUnitShortName(TimeUnit value) {
  return NameAt(kTimeUnitShortNames, Raw(value), "InvalidMode");
}
std::string_view DataFrequencyName(DataFrequency value) {
  return NameAt(kDataFrequencyNames, Raw(value), "InvalidDataFrequency");
}
std::string_view ImageFrequencyName(ImageFrequency value) {
  return NameAt(kImageFrequencyNames, Raw(value), "InvalidImageFrequency");
}
std::string_view InstructionName(Instruction value) {
  return NameAt(kInstructionNames, Raw(value), "InvalidInstruction");
}

double SecondsPerTimeUnit(TimeUnit value) {
  const std::int32_t raw = Raw(value);
  if (raw < 0 || static_cast<std::size_t>(raw) >= kSecondsPerTimeUnit.size()) return 1.0;
  return kSecondsPerTimeUnit[static_cast<std::size_t>(raw)];
}

ControlMode ControlModeFromName(std::string_view text) {
  return static_cast<ControlMode>(IndexIgnoringCase(kControlModeNames, text));
}
ControlFunction ControlFunctionFromName(std::string_view text) {
  return static_cast<ControlFunction>(IndexIgnoringCase(kControlFunctionNames, text));
}
PreloadType PreloadTypeFromName(std::string_view text) {
  return static_cast<PreloadType>(IndexIgnoringCase(kPreloadTypeNames, text));
}
TimeUnit TimeUnitFromName(std::string_view text) {
  return static_cast<TimeUnit>(IndexIgnoringCase(kTimeUnitNames, text));
}
Instruction InstructionFromName(std::string_view text) {
  return static_cast<Instruction>(IndexIgnoringCase(kInstructionNames, text));
}

MeasureUnit MeasureUnitFromName(std::string_view text) {
  for (std::size_t k = 0; k < kMeasureUnitNames.size(); ++k) {
    if (text == kMeasureUnitNames[k]) return static_cast<MeasureUnit>(k);
  }
  return static_cast<MeasureUnit>(-1);
}

DataFrequency DataFrequencyFromName(std::string_view text) {
  const double rate = ParseLeadingDouble(text);
  if (rate == 25.0) return DataFrequency::Hz30;
  if (rate == 2.5) return DataFrequency::Hz5;
  return static_cast<DataFrequency>(IndexOfRate(kDataFrequencyRates, rate));
}

ImageFrequency ImageFrequencyFromName(std::string_view text) {
  const double rate = ParseLeadingDouble(text);
  if (rate == 10.0) return ImageFrequency::Hz5;
  return static_cast<ImageFrequency>(IndexOfRate(kImageFrequencyRates, rate));
}

}  // namespace stravon
