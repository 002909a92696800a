// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "device/device_set.h"
#include "device/hardware_settings.h"
#include "device/phase_compiler.h"
#include "protocol/test_sequence.h"

namespace stravon {

// The unit runs a protocol from a 1408-byte region of its memory: the sets one
// after the other from byte 0, big-endian, zeros after the last.
inline constexpr std::uint32_t kProgramImageAddress = 0x6E00;
inline constexpr std::size_t kProgramImageSize = 1408;
using ProgramImage = std::array<std::uint8_t, kProgramImageSize>;

// A 16-byte header and a body of four ramp words or sixteen 10-byte segments.
inline constexpr std::size_t kRampedSetBytes = 32;
inline constexpr std::size_t kSinusoidSetBytes = 176;

// The unit's set table, and so the most sets a protocol can have.
inline constexpr std::size_t kSetTableSize = 60;
using DeviceSetTable = std::array<DeviceSet, kSetTableSize>;

// The bytes the set takes in the image.
std::size_t SetImageBytes(const TestSet& set);

// The millimetres a set's magnitude moves the actuator: percent of the
// minimum specimen size (a size of 0, as before the settings are read, moves
// nothing), every other unit taken as millimetres.
double MagnitudeMillimetres(const TestSet& set, const HardwareSettings& settings);

// Resets the whole table and compiles the sequence's sets into it with the
// given hardware settings; returns the number of sets compiled. The caller
// keeps the used memory at most 100 %; a sequence longer than the table has
// only its first sets compiled.
std::int32_t CompileProtocol(const TestSequence& sequence, const HardwareSettings& settings,
                             DeviceSetTable& table, const TimingFunctions& timing = {});

// Writes the first `count` sets of the table; a set that would pass the end of
// the image is left out.
ProgramImage EncodeProgramImage(const DeviceSetTable& table, std::int32_t count);

// Resets the table and reads the sets of an image into it, up to the first
// header not in use, the first erased header (all bytes 0xFF) or the first
// set that does not fit; returns their number.
std::int32_t DecodeProgramImage(const ProgramImage& image, DeviceSetTable& table);

// Replaces the sequence's sets by the first `count` decoded sets, in the units
// of the given hardware settings. The column list is left as it is.
void DeviceSetsToProtocol(const DeviceSetTable& table, std::int32_t count,
                          const HardwareSettings& settings, TestSequence& sequence);

// The offset of the first byte where `read_back` differs from `written`;
// nullopt when the two hold the same bytes.
std::optional<std::size_t> FirstDifference(const ProgramImage& written,
                                           const ProgramImage& read_back);

// Share of the unit's program memory that the sequence needs, in percent
// rounded to one decimal.
double UsedMemoryPercent(const TestSequence& sequence);

}  // namespace stravon
