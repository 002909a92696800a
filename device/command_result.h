// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace stravon {

// How one command exchange with the unit ended. A port failure and an error
// the unit answered are different things to a caller: the first means the
// line is in trouble, the second that the unit refused this command.
struct CommandResult {
  enum class Kind {
    kOk,
    kPortFailure,  // writing or reading failed; `code` is the serial result code
    kUnitError,    // the unit answered an error; `code` is its error number
    kBadReply,     // a reply came, but not of the kind the command expects
  };

  Kind kind = Kind::kOk;
  int code = 0;
  // The errno behind a port failure (0 for a time-out or an end of file),
  // so that its cause can be named: unplugged, or some other fault.
  int error_number = 0;

  static constexpr CommandResult Ok() { return {}; }
  static constexpr CommandResult PortFailure(int serial_code, int error_number = 0) {
    return {Kind::kPortFailure, serial_code, error_number};
  }
  static constexpr CommandResult UnitError(int number) { return {Kind::kUnitError, number, 0}; }
  static constexpr CommandResult BadReply() { return {Kind::kBadReply, 0, 0}; }

  constexpr bool ok() const { return kind == Kind::kOk; }
  friend constexpr bool operator==(const CommandResult&, const CommandResult&) = default;
};

}  // namespace stravon
