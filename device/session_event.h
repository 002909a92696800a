// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "device/device_set.h"
#include "device/hardware_settings.h"
#include "device/operation.h"
#include "device/operation_outcome.h"
#include "device/ports/port_list.h"
#include "device/program_image.h"
#include "device/session_request.h"

namespace stravon {

// What the unit said about itself when the worker last connected.
struct UnitIdentification {
  std::vector<std::string> entries;
  std::int32_t firmware_revision = 0;  // revision x 1000
  std::int32_t software_number = 0;
};

// What is known of the connected unit at one moment. Published whole and
// never changed afterwards, so any thread may read one it holds.
struct UnitSnapshot {
  std::string port;  // the device node the unit was opened on
  UnitIdentification identification;
  // How reading the settings block went on connecting (done when read).
  Outcome settings_outcome;
  bool settings_read = false;
  HardwareSettings settings;
  int series_index = 0;  // 0 "P", 1 "R", 2 "W"
  std::optional<std::int32_t> position;  // motor steps, from the last status reply
  // Why the status query on connecting brought no position (ok when it did).
  CommandResult status_failure;
  double offset = 0.0;                   // mm, for that position
};
using UnitSnapshotPtr = std::shared_ptr<const UnitSnapshot>;

// The worker began an accepted request.
struct StartedEvent {
  RequestId request = 0;
  Operation operation = Operation::kNone;
};

enum class TransferPhase { kReading, kProgramming, kVerifying };

// One more step of a transfer. The next exchange with the unit starts at
// `waiting_since`, so a front end can tell a unit that has stopped answering.
struct ProgressEvent {
  RequestId request = 0;
  TransferPhase phase = TransferPhase::kReading;
  int done = 0;
  int total = 0;
  std::chrono::steady_clock::time_point waiting_since;
};

// A request ended. A read that went through carries what it read.
struct FinishedEvent {
  RequestId request = 0;
  Outcome outcome;
  // Program Device was asked to verify.
  bool verify = false;
  // Read Device and Program Device: the image as read or as written (as far
  // as it got); a read that went through also has the decoded sets.
  std::optional<ProgramImage> image;
  DeviceSetTable sets{};
  std::int32_t set_count = 0;
};

// The unit was found, identified and its settings read (or tried).
struct ConnectedEvent {
  UnitSnapshotPtr unit;
};

// The port could not be taken or the unit did not answer. Published once
// per distinct cause; the worker keeps trying each second.
struct ConnectionFailedEvent {
  std::string port;
  Outcome outcome;
  std::optional<PortRecord> record;  // the port's record, for advice about access
};

// The unit went away: unplugged, or the port failed under an exchange.
struct DisconnectedEvent {
  Outcome::Cause cause = Outcome::Cause::kUnplugged;
};

// The unit's settings changed (programmed from this session).
struct SettingsChangedEvent {
  UnitSnapshotPtr unit;
};

// The unit reported its position.
struct PositionEvent {
  std::int32_t position = 0;  // motor steps
  double offset = 0.0;        // mm
};

// A running jog has ended: the unit took the stop and two position readings
// agreed (only then are its limits switched off), or the stop failed after
// its retries (`step` kStop; the limits stay on). `request` is the jog's
// stop, or the jog itself when the worker stopped it (no confirmation came,
// or an exchange of the jog failed: `failure` and `step` say which).
struct JogStoppedEvent {
  RequestId request = 0;
  CommandResult failure;
  // The command of `failure`; kStop when the stop itself was not confirmed,
  // so that the unit may still be moving.
  Outcome::Step step = Outcome::Step::kNone;
};

// Something on connecting that a person must be told of at once.
struct UnitNoticeEvent {
  enum class Kind {
    kFirmwareTooOld,         // `required` is the revision needed ("4.0")
    kSettingsNotProgrammed,  // the settings block was never programmed
  };
  Kind kind = Kind::kFirmwareTooOld;
  std::string required;
};

// A line of the unit's own output or of the message log, for the output pane.
struct OutputEvent {
  std::string text;
};

using SessionEvent =
    std::variant<StartedEvent, ProgressEvent, FinishedEvent, ConnectedEvent,
                 ConnectionFailedEvent, DisconnectedEvent, SettingsChangedEvent, PositionEvent,
                 JogStoppedEvent, UnitNoticeEvent, OutputEvent>;

}  // namespace stravon
