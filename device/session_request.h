// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <variant>

#include "device/hardware_settings.h"
#include "protocol/test_sequence.h"

namespace stravon {

// What a front end asks a device session to do. Each accepted request gets
// an id, which the events it causes carry.
using RequestId = std::uint64_t;

struct ReadRequest {};
// The sequence as committed on the interface thread, and the settings it was
// checked against; the image is compiled with exactly these.
struct ProgramRequest {
  TestSequence sequence;
  HardwareSettings settings;
  bool verify = true;
};
struct ProgramSettingsRequest {
  HardwareSettings settings;
};
struct MoveRequest {
  std::int32_t target = 0;  // motor steps
};
enum class JogDirection { kPlus, kMinus };
struct JogRequest {
  JogDirection direction = JogDirection::kPlus;
};
// The jog button is still held (see kJogConfirmInterval).
struct JogConfirmation {};
struct JogStopRequest {};
// Cancels the running transfer, as its Cancel button does.
struct CancelRequest {};

using Request = std::variant<ReadRequest, ProgramRequest, ProgramSettingsRequest, MoveRequest,
                             JogRequest, JogConfirmation, JogStopRequest, CancelRequest>;

// Why a request was not taken. Nothing is ever dropped or replaced silently:
// a request that cannot start now is answered at once with one of these.
enum class Refusal {
  kBusy,             // another operation (or a jog) is running
  kNotConnected,     // no unit, or its port is not open
  kSettingsNotRead,  // the unit's hardware settings are not known
  kNotRunning,       // the session's worker is not running (or is ending)
  kNothingToStop,    // a jog stop or confirmation while no jog runs
  // A move or jog while the unit's offset position lies beyond its stroke (a
  // damaged settings block).
  kOffsetBeyondStroke,
};

// The answer to Submit: the id of an accepted request, or why it was refused.
struct Submission {
  RequestId id = 0;
  std::optional<Refusal> refusal;

  bool Accepted() const { return !refusal.has_value(); }
};

// While a jog button is held the interface confirms it this often; the
// worker stops the jog when no confirmation has come within the session's
// jog_confirm_limit. So a frozen interface thread, or a release that never
// arrives, cannot leave the actuator running.
inline constexpr std::chrono::milliseconds kJogConfirmInterval{100};

}  // namespace stravon
