// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/terminal_front_end.h"
#include "device/device_session.h"
#include "device/operation_outcome.h"

namespace stravon::cli {

// One device session and its worker, for a command that talks to the unit.
// The command asks for operations as the desktop program's menus do (a
// pending code and its arguments) and waits until the worker has carried
// them out; everything the worker shows arrives in the terminal front end.
class UnitSession {
 public:
  UnitSession(const GlobalOptions& options, Console& console);
  // Stops a jog still running, then the worker.
  ~UnitSession();
  UnitSession(const UnitSession&) = delete;
  UnitSession& operator=(const UnitSession&) = delete;

  // Finds the unit, starts the worker and waits until it has connected.
  // With `require_settings` a unit whose settings block was not accepted is
  // a failure; without, its message box is left for the command to take.
  // False after the reason was reported.
  bool Connect(bool require_settings);

  DeviceSession& Device() { return *device_; }
  TerminalFrontEnd& FrontEnd() { return front_end_; }
  const std::string& PortName() const { return port_name_; }

  // Writes a request (`request` sets the arguments and the code), waits
  // until the worker has carried it out and returns how it ended. Nothing
  // when an interrupt came first during a move (a transfer sees the
  // interrupt as its Cancel button and ends by itself; a settings write is
  // let finish).
  std::optional<Outcome> RunOperation(const std::function<void()>& request);

  // Ends a running jog: jog stop until one pass of it (stop, limits off,
  // status) has gone to the unit, then no code. False when that could not be
  // seen within a few time-outs.
  bool StopJog();

  // Ends the worker and closes its port.
  void StopWorker();
  // Stops the worker, then tells the unit to stop moving.
  void StopMotion();

  // Reports the message boxes the core showed as the command's failure;
  // false when there were none.
  bool ReportMessages();

  // Why the last Connect failed, where the core knows (kNone otherwise).
  Outcome::Cause ConnectFailure() const { return failure_; }

  // How long the unit may take for a few exchanges that fail.
  std::chrono::milliseconds ExchangeAllowance(int exchanges) const;

 private:
  bool PortAccessible(const std::string& path);

  GlobalOptions options_;
  Console& console_;
  TerminalFrontEnd front_end_;
  std::unique_ptr<DeviceSession> device_;
  std::string port_name_;
  Outcome::Cause failure_ = Outcome::Cause::kNone;
};

}  // namespace stravon::cli
