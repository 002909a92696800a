#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "device/command_result.h"
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
  };

  // A byte the unit holds other than it was written.
  struct Mismatch {
    std::uint32_t address = 0;
    std::uint8_t written = 0;
    std::uint8_t read = 0;
    friend bool operator==(const Mismatch&, const Mismatch&) = default;
  };

  // The operation answered; kNone for the settings read of a connection.
  Operation operation = Operation::kNone;
  Kind kind = Kind::kDone;
  Step step = Step::kNone;
  // The exchange that failed, when one did (its serial result code or the
  // unit's error number).
  CommandResult failure;
  // A verification that read everything back: the first byte that differs.
  std::optional<Mismatch> mismatch;

  static Outcome Of(Operation operation, Kind kind = Kind::kDone, Step step = Step::kNone,
                    CommandResult failure = {}) {
    return Outcome{operation, kind, step, failure, std::nullopt};
  }

  bool Done() const { return kind == Kind::kDone; }
  friend bool operator==(const Outcome&, const Outcome&) = default;
};

// The line the output pane shows at the end of a transfer, without its line
// breaks ("Reading Device... Success"); empty for an outcome that shows none.
std::string OutcomeLine(const Outcome& outcome);

}  // namespace stravon
