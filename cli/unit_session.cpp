// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/unit_session.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>
#include <variant>
#include <vector>

#include "cli/interrupt.h"
#include "device/connection_advice.h"
#include "device/device_session.h"
#include "device/ports/port_list.h"
#include "ui/session_text.h"

namespace stravon::cli {
namespace {

// An interrupt only sets a flag; a wait looks at it this often while no
// event comes.
constexpr std::chrono::milliseconds kInterruptCheck{50};
// The worker checks the ports at once when it starts and says nothing while
// it does not see the unit: when no event came within this time and
// detection no longer finds the unit, it went away after this program found it.
constexpr std::chrono::milliseconds kDetectionGrace{3000};

// Where the unit is, by detection or on the operator's port.
struct FoundPort {
  bool found = false;
  std::string name;
  std::string path;
  std::vector<PortRecord> ports;
};

FoundPort FindPort(const std::string& chosen, const PortRoots& roots) {
  FoundPort port;
  if (chosen.empty()) {
    port.found = DetectController(&port.ports, &port.name, roots);
  } else {
    port.name = chosen;
    port.found = access(PortNodePath(roots, chosen).c_str(), F_OK) == 0;
    if (port.found) RefreshPortList(&port.ports, OpenTest::kNone, roots);
  }
  port.path = PortNodePath(roots, port.name);
  return port;
}

}  // namespace

UnitSession::UnitSession(const GlobalOptions& options, Console& console)
    : options_(options), console_(console), front_end_(console), stage_(front_end_) {}

UnitSession::~UnitSession() {
  if (!document_) return;
  StopJog();
  // Ended here rather than by the Document, which would also tell the unit
  // to stop: a command that did not move it sends nothing more.
  document_->Session().StopWorker();
}

std::chrono::milliseconds UnitSession::ExchangeAllowance(int exchanges) const {
  return std::chrono::milliseconds(2000) +
         exchanges * std::chrono::milliseconds(options_.timeout_ms);
}

bool UnitSession::PortAccessible(const std::string& path) {
  return access(path.c_str(), R_OK | W_OK) == 0 || errno != EACCES;
}

UnitSession::WaitEnd UnitSession::Await(const std::function<bool(const SessionEvent&)>& done,
                                        Clock::time_point deadline, bool interruptible) {
  for (;;) {
    if (interruptible && Interrupted()) return WaitEnd::kInterrupted;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return WaitEnd::kTimedOut;
    if (document_->WaitFor(done, std::min(deadline, now + kInterruptCheck))) return WaitEnd::kDone;
  }
}

void UnitSession::EventHandled(const SessionEvent& event) {
  // Kept past a disconnection, which the Document's own view forgets.
  if (const auto* connected = std::get_if<ConnectedEvent>(&event)) {
    unit_ = connected->unit;
  } else if (const auto* changed = std::get_if<SettingsChangedEvent>(&event)) {
    unit_ = changed->unit;
  }
}

bool UnitSession::Connect(bool require_settings) {
  const PortRoots roots = PortRootsFromEnvironment();
  const FoundPort port = FindPort(options_.port, roots);
  if (!port.found) {
    console_.Error(options_.port.empty() ? std::string(kDeviceNotDetectedMessage)
                                         : ErrorText("--port " + options_.port +
                                                     ": no such port (" + port.path + ")"));
    return false;
  }
  port_name_ = port.name;
  if (!PortAccessible(port.path)) {
    console_.Error(PermissionAdvice(port.path, FindControllerPort(port.ports)));
    return false;
  }
  console_.Detail("Unit found on " + port.name + "\n");

  DeviceSessionOptions device_options;
  device_options.roots = roots;
  device_options.read_timeout_ms = options_.timeout_ms;
  // The operator's port replaces detection; the worker is told the same.
  device_options.port_override = options_.port;
  document_ = std::make_unique<Document>(front_end_, stage_, std::move(device_options));
  document_->SetListener(this);
  document_->Session().StartWorker();

  // The port did not open, or the unit did not answer: the worker would try
  // again each second, but a command says why and ends.
  std::string failure_text;
  const auto connected = [&](const SessionEvent& event) {
    if (std::holds_alternative<ConnectedEvent>(event)) return true;
    const auto* failed = std::get_if<ConnectionFailedEvent>(&event);
    if (failed == nullptr) return false;
    failure_text = ConnectionFailureText(failed->port, failed->outcome,
                                         failed->record ? &*failed->record : nullptr);
    if (failure_text.empty()) return false;
    failure_ = failed->outcome.Why();
    return true;
  };
  for (;;) {
    const WaitEnd end = Await(connected, Clock::now() + kDetectionGrace, true);
    if (end == WaitEnd::kDone) break;
    if (end == WaitEnd::kInterrupted) {
      StopWorker();
      console_.Error("Error:  Interrupted while connecting to the unit.");
      return false;
    }
    if (!FindPort(options_.port, roots).found) {
      StopWorker();
      console_.Error(kDeviceNotDetectedMessage);
      return false;
    }
  }
  if (!failure_text.empty()) {
    StopWorker();
    console_.Error(failure_text);
    return false;
  }

  // Connecting shows message boxes for a firmware too old and for a unit
  // whose settings were never programmed, before it says it is connected.
  // Both end the command, except that a command that does not need the
  // settings (restoring them, for one) goes on and finds the second still in
  // the front end.
  const UnitSnapshot& unit = *unit_;
  if (unit.settings_read) return !ReportMessages();
  if (!require_settings) return true;
  failure_ = unit.settings_outcome.step == Outcome::Step::kCheckSettings
                 ? Outcome::Cause::kSettingsNotProgrammed
                 : unit.settings_outcome.Why();
  if (ReportMessages()) return false;
  const std::string cause = OutcomeLine(unit.settings_outcome);
  console_.Error(ErrorText("Cannot read the unit's hardware settings on " + port_name_ +
                           (cause.empty() ? "." : ": " + cause)));
  return false;
}

void UnitSession::ReportRefusal(Refusal refusal) {
  // The Document has shown the refusal's message box, where it has one.
  if (ReportMessages()) return;
  const std::string text = RefusalText(refusal);
  console_.Error(text.empty() ? "Error:  The unit's session refused the request." : text);
}

UnitSession::Ran UnitSession::RunOperation(
    Operation operation, const std::function<std::optional<Submission>()>& submit) {
  Ran ran;
  const std::optional<Submission> submission = submit();
  if (!submission) {
    // The commit was refused; the stage has said why.
    ran.refused = true;
    if (!ReportMessages()) console_.Error("Error:  The protocol was not committed.");
    return ran;
  }
  if (!submission->Accepted()) {
    ran.refused = true;
    ReportRefusal(*submission->refusal);
    return ran;
  }
  const RequestId id = submission->id;
  const auto finished = [&](const SessionEvent& event) {
    const auto* end = std::get_if<FinishedEvent>(&event);
    if (end == nullptr || end->request != id) return false;
    ran.finished = *end;
    return true;
  };
  bool interruptible = operation != Operation::kProgramHardwareSettings;
  while (Await(finished, Clock::time_point::max(), interruptible) != WaitEnd::kDone) {
    // Also wakes a transfer that waits for a silent unit, at once; a move
    // ends once the unit took its stop and came to rest.
    document_->Session().Submit(CancelRequest{});
    interruptible = false;
  }
  return ran;
}

bool UnitSession::StartJog(JogDirection direction) {
  const Submission submission = document_->Submit(JogRequest{direction});
  if (!submission.Accepted()) {
    ReportRefusal(*submission.refusal);
    return false;
  }
  jogging_ = true;
  return true;
}

UnitSession::JogEnd UnitSession::KeepJogging(Clock::time_point end) {
  // The unit goes away, or the worker stops the jog itself (an exchange of
  // it failed).
  std::optional<JogEnd> ended;
  const auto over = [&](const SessionEvent& event) {
    if (std::holds_alternative<DisconnectedEvent>(event)) {
      ended = JogEnd::kUnitGone;
    } else if (const auto* stopped = std::get_if<JogStoppedEvent>(&event)) {
      jog_failure_ = stopped->failure;
      ended = JogEnd::kFailed;
    }
    return ended.has_value();
  };
  // The worker stops a jog that is not confirmed, as for a released button.
  Clock::time_point next_confirm = Clock::now() + kJogConfirmInterval;
  for (;;) {
    switch (Await(over, std::min(end, next_confirm), true)) {
      case WaitEnd::kDone:
        return *ended;
      case WaitEnd::kInterrupted:
        return JogEnd::kInterrupted;
      case WaitEnd::kTimedOut:
        break;
    }
    if (Clock::now() >= end) return JogEnd::kNone;
    document_->Submit(JogConfirmation{});
    next_confirm += kJogConfirmInterval;
  }
}

bool UnitSession::StopJog() {
  if (!jogging_) return true;
  jogging_ = false;
  const Submission stop = document_->Submit(JogStopRequest{});
  // Nothing to stop: the jog ended with the unit's connection.
  if (!stop.Accepted()) return true;
  const auto stopped = [&](const SessionEvent& event) {
    const auto* jog = std::get_if<JogStoppedEvent>(&event);
    return jog != nullptr && jog->request == stop.id;
  };
  // Room for the stop's tries, each with a status reading.
  return Await(stopped, Clock::now() + ExchangeAllowance(12), false) == WaitEnd::kDone;
}

void UnitSession::StopWorker() {
  if (document_) document_->Session().StopWorker();
}

void UnitSession::StopMotion() {
  if (document_) document_->Session().StopWorkerAndMotion();
}

bool UnitSession::ReportMessages() {
  const std::vector<TerminalFrontEnd::Message> messages = front_end_.TakeMessages();
  if (messages.empty()) return false;
  std::string text;
  for (const TerminalFrontEnd::Message& message : messages) {
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += message.text;
  }
  console_.Error(text);
  return true;
}

}  // namespace stravon::cli
