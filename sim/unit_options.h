// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace stravon::sim {

struct UnitOptions {
  // Identification entry 2 is "SW#<software_number> REV <firmware_revision>"
  // unless identification2 is set, which replaces it verbatim.
  std::string firmware_revision = "4.1";
  std::string software_number = "74050";
  std::optional<std::string> identification2;
  // Answers to the five-byte variant queries, by query number, sent followed
  // by a carriage return. Numbers not listed are answered "0".
  std::map<int, std::string> variant_answers = {{4, "1"}, {6, "4"}};
  // A unit that was never programmed: the settings block all zeros instead
  // of the factory-fresh block. (The program area always starts as zeros.)
  bool unprogrammed = false;
  // When set: loaded by the first Start() if the file exists (exactly
  // kMemorySize bytes, the memory from kMemoryAddress on), and saved
  // atomically after every page commit and when the unit stops.
  std::string memory_file;
  // Non-zero: every reply is held back for the time its command and the
  // reply itself need on a wire at this baud rate (10 bits per byte).
  int pacing_baud = 0;
  // Motion rates: a jog runs at 24,000,000 / <speed value> steps per second,
  // a move at move_steps_per_second; both are multiplied by motion_speed
  // (tests use large factors so that moves finish at once).
  double move_steps_per_second = 2000.0;
  double motion_speed = 1.0;
  // Record every exchange (benchmarks turn it off to keep memory flat).
  bool keep_transcript = true;
  // Called on the serving thread after an injected disconnect closed the
  // pseudo-terminal.
  std::function<void()> on_disconnected;
};

}  // namespace stravon::sim
