// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "device/command_result.h"
#include "device/hardware_settings.h"
#include "device/operation.h"

namespace stravon {

// How an operation the worker carried out ended. Front ends decide on this,
// never on the texts the output pane shows for it.
struct Outcome {
  enum class Kind {
    kDone,
    kCancelled,     // the operator cancelled, or the session was closing
    kFailed,        // an exchange with the unit failed, or the unit fell short
    kNotConnected,  // the operation did not start: no unit, or its port is not open
  };

  // Where the operation stopped; kNone when it did not stop early.
  enum class Step {
    kNone,
    kOpenPort,       // connecting: the port did not open
    kIdentify,       // connecting: the unit did not answer its identification
    kNotDetected,    // no unit is connected (the operator is told so)
    kPortClosed,     // the port is not open, or the unit's settings are not known
    kCommit,         // the stage view did not hand over its working sequence
    kReadProgram,    // reading the program area, byte by byte
    kWriteProgram,   // loading and committing the program image, page by page
    kReadSettings,   // reading the settings block
    kCheckSettings,  // the settings block read is not one a unit was programmed with
    kWriteSettings,  // loading and committing the settings block
    kReachTarget,    // a move ended short of its target
    kVerify,         // reading the program area back after programming it
    // Reading the settings block back after programming it.
    kVerifySettings,
    // Motion: the command whose exchange failed.
    kLimitsOn,   // the limits a motion needs before it starts
    kDirection,  // a jog's direction
    kSpeed,      // a jog's speed
    kGo,         // a jog's start
    kStartMove,  // a move's target
    kStop,       // a stop the unit refused or did not answer (it may still move)
  };

  // A byte the unit holds other than it was written.
  struct Mismatch {
    std::uint32_t address = 0;
    std::uint8_t written = 0;
    std::uint8_t read = 0;
    friend bool operator==(const Mismatch&, const Mismatch&) = default;
  };

  // A settings block read back after programming that holds other values
  // than were written.
  struct SettingsMismatch {
    HardwareSettings written;
    HardwareSettings read;
    friend bool operator==(const SettingsMismatch&, const SettingsMismatch&) = default;
  };

  // Why an operation did not get done, in the terms a person can act on.
  enum class Cause {
    kNone,
    kCancelled,               // the operator cancelled, or the session was closing
    kNoAnswer,                // no reply within the time-out
    kUnplugged,               // the line closed under the exchange, or the node is gone
    kPortError,               // reading, writing or opening failed otherwise
    kUnitError,               // the unit answered an error number
    kBadReply,                // a reply that is not of the kind expected, or too long
    kInUseByAnotherProgram,   // another process holds the port
    kInUseByAnotherWindow,    // another session of this process holds it
    kNoPermission,            // the port may not be opened by this user
    kNotATerminal,            // the path is no serial port at all
    kSettingsNotProgrammed,   // the unit's settings block was never programmed
  };

  // The operation answered; kNone for the settings read of a connection.
  Operation operation = Operation::kNone;
  Kind kind = Kind::kDone;
  Step step = Step::kNone;
  // The exchange that failed, when one did (its serial result code or the
  // unit's error number).
  CommandResult failure;
  // Set where the failure is not an exchange (opening the port, say);
  // otherwise Why() derives the cause from the kind and the failure.
  Cause cause = Cause::kNone;
  // The unit's program area was left without a runnable protocol (a Program
  // Device that did not finish); it must be programmed again.
  bool program_area_cleared = false;
  // What a Program Device that failed after a commit went out left in the
  // unit, as its first page read back shows (the set list starts there).
  enum class HeldProgram {
    kUnknown,   // the page could not be read back
    kNothing,   // the cleared page: no protocol (program_area_cleared is set)
    kPrevious,  // neither: the clearing commit did not take
    kWritten,   // the new first page: the last commit took despite its answer
  };
  std::optional<HeldProgram> held_program;
  // A verification that read everything back: the first byte that differs.
  std::optional<Mismatch> mismatch;
  // Programming hardware settings that read back otherwise.
  std::optional<SettingsMismatch> settings_mismatch;

  static Outcome Of(Operation operation, Kind kind = Kind::kDone, Step step = Step::kNone,
                    CommandResult failure = {}) {
    Outcome outcome;
    outcome.operation = operation;
    outcome.kind = kind;
    outcome.step = step;
    outcome.failure = failure;
    return outcome;
  }
  static Outcome Because(Operation operation, Kind kind, Step step, Cause cause,
                         CommandResult failure = {}) {
    Outcome outcome = Of(operation, kind, step, failure);
    outcome.cause = cause;
    return outcome;
  }

  bool Done() const { return kind == Kind::kDone; }
  Cause Why() const;
  friend bool operator==(const Outcome&, const Outcome&) = default;
};

// The cause of a failed exchange (kNone for one that succeeded).
Outcome::Cause CauseOf(const CommandResult& result);
// The cause behind a port that did not open, from the errno of the attempt.
Outcome::Cause OpenFailureCause(int error_number);

// The cause as a phrase that completes "... failed: " ("the unit did not
// answer within the time-out"); empty for kNone.
std::string CauseText(const Outcome& outcome);

// The line the output pane shows at the end of a transfer, without its line
// breaks ("Reading Device... Success"); empty for an outcome that shows none.
std::string OutcomeLine(const Outcome& outcome);

// What a failed Program Device left in the unit, as a line to say after its
// outcome line; empty when nothing is known to have changed.
std::string HeldProgramText(const Outcome& outcome);

// Said after a Program Device that stopped once the unit's old protocol was
// cleared.
inline constexpr const char* kProgramAreaClearedText =
    "The unit now holds no protocol; program it again before running it.";

}  // namespace stravon
