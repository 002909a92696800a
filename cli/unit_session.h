// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/terminal_front_end.h"
#include "device/operation.h"
#include "device/operation_outcome.h"
#include "device/session_event.h"
#include "device/session_request.h"
#include "ui/document.h"
#include "ui/stage_model.h"

namespace stravon::cli {

// One document window of the command line, with its device session, for a
// command that talks to the unit. The command asks for what the desktop
// program's menus ask for (typed requests through the Document) and waits on
// the command's thread for the events that say how it went; the Document
// renders them into the terminal front end as it would into a window.
class UnitSession : private Document::Listener {
 public:
  using Clock = std::chrono::steady_clock;

  // How a request went.
  struct Ran {
    // Its end, once it ran to it.
    std::optional<FinishedEvent> finished;
    // Nothing was asked of the unit (the request or the commit before it
    // was refused); the reason has been reported.
    bool refused = false;
  };

  UnitSession(const GlobalOptions& options, Console& console);
  // Stops a jog still running, then the worker; the unit is not told
  // anything else.
  ~UnitSession() override;
  UnitSession(const UnitSession&) = delete;
  UnitSession& operator=(const UnitSession&) = delete;

  // Finds the unit, starts the worker and waits until it has connected.
  // With `require_settings` a unit whose settings block was not accepted is
  // a failure; without, its message box is left for the command to take.
  // False after the reason was reported.
  bool Connect(bool require_settings);

  // Only after Connect got as far as starting the worker.
  Document& Doc() { return *document_; }
  TerminalFrontEnd& FrontEnd() { return front_end_; }
  const std::string& PortName() const { return port_name_; }
  // The unit as last connected or reprogrammed; only after Connect succeeded.
  const UnitSnapshot& Unit() const { return *unit_; }
  // The offset field's text: the unit's position as last reported.
  const std::string& OffsetText() const { return stage_.OffsetText(); }

  // Asks for `operation` with `submit` (which answers as the Document's
  // request functions do) and waits for its end. On an interrupt a transfer
  // is cancelled as its Cancel button does and ends by itself; the settings
  // write is let finish, since stopping half-way would leave a partly
  // written block; a move is stopped, and ends once the unit is at rest or
  // its stop failed.
  Ran RunOperation(Operation operation, const std::function<std::optional<Submission>()>& submit);

  // A jog: started (false after the refusal was reported), kept alive and
  // watched until `end` (kNone when it ran its time, else what ended it),
  // and stopped.
  // How a jog held for its time ended early: interrupted, the unit gone, or
  // stopped by the worker (JogFailure says which exchange failed).
  enum class JogEnd { kNone, kInterrupted, kUnitGone, kFailed };
  bool StartJog(JogDirection direction);
  JogEnd KeepJogging(Clock::time_point end);
  // Ends the jog: true once its stop has settled (the unit is at rest, or
  // the stop failed and the Document has shown why), or the jog had already
  // ended; false when that could not be seen within a few time-outs.
  bool StopJog();
  const CommandResult& JogFailure() const { return jog_failure_; }

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
  enum class WaitEnd { kDone, kTimedOut, kInterrupted };
  // Carries out the session's events until `done` holds for one of them, or
  // `deadline` passes; with `interruptible`, also until an interrupt came.
  WaitEnd Await(const std::function<bool(const SessionEvent&)>& done, Clock::time_point deadline,
                bool interruptible);
  void EventHandled(const SessionEvent& event) override;
  void ReportRefusal(Refusal refusal);
  bool PortAccessible(const std::string& path);

  GlobalOptions options_;
  Console& console_;
  TerminalFrontEnd front_end_;
  StageModel stage_;
  std::unique_ptr<Document> document_;
  std::string port_name_;
  UnitSnapshotPtr unit_;
  Outcome::Cause failure_ = Outcome::Cause::kNone;
  bool jogging_ = false;
  CommandResult jog_failure_;
};

}  // namespace stravon::cli
