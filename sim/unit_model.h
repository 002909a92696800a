// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/command_grammar.h"
#include "sim/unit_options.h"

namespace stravon::sim {

// The unit's memory as the simulator holds it: the program area followed
// directly by the settings block.
inline constexpr std::uint16_t kProgramAddress = 0x6E00;
inline constexpr std::size_t kProgramSize = 1408;
inline constexpr std::uint16_t kSettingsAddress = 0x7380;
inline constexpr std::size_t kSettingsSize = 64;
inline constexpr std::uint16_t kMemoryAddress = kProgramAddress;
inline constexpr std::size_t kMemorySize = kProgramSize + kSettingsSize;
inline constexpr std::size_t kPageSize = 64;
using UnitMemory = std::array<std::uint8_t, kMemorySize>;

// The factory-fresh settings block: pitch 0.003175 mm, minimum size 0,
// soft limit 7.2 mm, series "P1", model 1, stroke -5000, offset position 630.
std::array<std::uint8_t, kSettingsSize> DefaultSettingsBlock();

// What the control unit does with a command: its memory and page buffer, its
// identification, and the actuator's motion. Time is passed in, so the motion
// can be followed without waiting for it. Not synchronised; the serving side
// holds a lock around it.
class UnitModel {
 public:
  using Clock = std::chrono::steady_clock;

  explicit UnitModel(UnitOptions options);

  // Carries out `command` (of `kind`, as classified) received at `now` and
  // returns the reply. `committed` is set when a page went into memory.
  std::string Execute(CommandKind kind, std::string_view command, Clock::time_point now,
                      bool* committed);

  // Position in steps relative to the offset position.
  std::int32_t Position(Clock::time_point now) const;
  void SetPosition(std::int32_t position, Clock::time_point now);
  bool IsMoving(Clock::time_point now) const;
  // Ends any motion where it has got to (the unit loses power).
  void Halt(Clock::time_point now);

  const UnitMemory& Memory() const { return memory_; }
  void SetMemory(const UnitMemory& memory) { memory_ = memory; }
  // Where the last page commit went, as an offset into Memory().
  std::size_t LastCommitOffset() const { return last_commit_; }
  // For the corrupt-store fault: flips every bit of one byte of memory.
  void InvertByte(std::size_t offset) { memory_.at(offset) ^= 0xFF; }
  // Empty, or shorter than `count`, past the end of the memory.
  std::vector<std::uint8_t> ReadMemory(std::uint16_t address, std::size_t count) const;
  // False (and nothing written) when the range leaves the memory.
  bool WriteMemory(std::uint16_t address, std::span<const std::uint8_t> bytes);

 private:
  double EndPosition() const;
  double PositionAt(Clock::time_point now) const;
  void Settle(Clock::time_point now);
  void SetJogRate();

  const UnitOptions options_;
  UnitMemory memory_{};
  std::size_t last_commit_ = 0;
  std::array<std::uint8_t, kPageSize> page_{};
  // Motion: the position was base_position_ at motion_start_; while moving_
  // it runs at rate_ steps per second towards target_ (a move) or, for a
  // jog, until Stop (a limit holds it but the jog stays active, so that a
  // change of direction moves away from the limit).
  // The position is held with its fraction of a step so that frequent
  // commands during a jog do not slow it down by rounding.
  double base_position_ = 0.0;
  Clock::time_point motion_start_{};
  bool moving_ = false;
  bool jogging_ = false;
  double rate_ = 0.0;
  std::int64_t target_ = 0;
  int direction_ = 0;
  std::int64_t speed_value_ = 64000;
  bool limits_on_ = false;
  std::int64_t lower_limit_ = 0;
  std::int64_t upper_limit_ = 0;
};

}  // namespace stravon::sim
