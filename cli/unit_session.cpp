// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/unit_session.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <vector>

#include "cli/interrupt.h"
#include "device/connection_advice.h"
#include "device/device_worker.h"
#include "device/operation_outcome.h"
#include "device/ports/port_list.h"

namespace stravon::cli {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kPoll{50};
// The worker checks the ports at once when it starts; if it has not seen the
// unit by then, the unit went away after this program found it.
constexpr std::chrono::milliseconds kDetectionGrace{3000};

}  // namespace

UnitSession::UnitSession(const GlobalOptions& options, Console& console)
    : options_(options), console_(console), front_end_(console) {}

UnitSession::~UnitSession() {
  if (!device_) return;
  const Operation code = device_->PendingOperation();
  if (code == Operation::kJogPlus || code == Operation::kJogMinus) StopJog();
  device_->StopWorker();
}

std::chrono::milliseconds UnitSession::ExchangeAllowance(int exchanges) const {
  return std::chrono::milliseconds(2000) +
         exchanges * std::chrono::milliseconds(options_.timeout_ms);
}

bool UnitSession::PortAccessible(const std::string& path) {
  return access(path.c_str(), R_OK | W_OK) == 0 || errno != EACCES;
}

bool UnitSession::Connect(bool require_settings) {
  const PortRoots roots = PortRootsFromEnvironment();
  std::vector<PortRecord> ports;
  std::string detected;
  bool found = false;
  std::string path;
  if (options_.port.empty()) {
    found = DetectController(&ports, &detected, roots);
    path = PortNodePath(roots, detected);
  } else {
    // The operator's port replaces detection; the worker is told the same.
    detected = options_.port;
    path = PortNodePath(roots, detected);
    found = access(path.c_str(), F_OK) == 0;
    if (!found) {
      console_.Error(ErrorText("--port " + options_.port + ": no such port (" + path + ")"));
      return false;
    }
    RefreshPortList(&ports, OpenTest::kNone, roots);
  }
  if (!found) {
    console_.Error(kDeviceNotDetectedMessage);
    return false;
  }
  port_name_ = detected;
  if (!PortAccessible(path)) {
    const PortRecord* record = FindControllerPort(ports);
    console_.Error(PermissionAdvice(path, record));
    return false;
  }
  console_.Detail("Unit found on " + detected + "\n");

  DeviceSessionOptions device_options;
  device_options.roots = roots;
  device_options.read_timeout_ms = options_.timeout_ms;
  device_options.port_override = options_.port;
  device_ = std::make_unique<DeviceSession>(&front_end_, device_options);
  front_end_.AttachSession(device_.get());
  device_->StartWorker();

  const Clock::time_point started = Clock::now();
  while (!device_->WaitUntilConnected(true, kPoll)) {
    if (Interrupted()) {
      device_->StopWorker();
      console_.Error("Error:  Interrupted while connecting to the unit.");
      return false;
    }
    // The port did not open, or the unit did not answer: the worker would
    // try again each second, but a command says why and ends.
    if (device_->ConnectionAttempts() > 0 && !device_->Connected()) {
      const Outcome outcome = device_->ConnectionOutcome();
      const std::string text = ConnectionFailureText(path, outcome, FindControllerPort(ports));
      if (!text.empty()) {
        device_->StopWorker();
        console_.Error(text);
        failure_ = outcome.Why();
        return false;
      }
    }
    if (!device_->Detected() && Clock::now() - started > kDetectionGrace) {
      console_.Error(kDeviceNotDetectedMessage);
      return false;
    }
  }

  // Connecting shows message boxes for a firmware too old and for a unit
  // whose settings were never programmed. Both end the command, except that
  // a command that does not need the settings (restoring them, for one)
  // goes on and finds the second still in the front end.
  if (device_->HardwareSettingsRead()) return !ReportMessages();
  if (!require_settings) return true;
  failure_ = device_->ConnectionOutcome().step == Outcome::Step::kCheckSettings
                 ? Outcome::Cause::kSettingsNotProgrammed
                 : device_->ConnectionOutcome().Why();
  if (ReportMessages()) return false;
  // No message box: the port could not be opened (the log says why), or the
  // block could not be read.
  std::string cause = OutcomeLine(device_->ConnectionOutcome());
  if (cause.empty()) cause = front_end_.LastLog();
  console_.Error(ErrorText("Cannot read the unit's hardware settings on " + detected +
                           (cause.empty() ? "." : ": " + cause)));
  return false;
}

std::optional<Outcome> UnitSession::RunOperation(const std::function<void()>& request) {
  request();
  const Operation code = device_->PendingOperation();
  // A transfer ends by itself on an interrupt; the settings write is a few
  // exchanges, and stopping half-way would leave a partly written block.
  const bool finishes = code == Operation::kReadDevice || code == Operation::kProgramDevice ||
                        code == Operation::kProgramHardwareSettings;
  const bool transfer = code == Operation::kReadDevice || code == Operation::kProgramDevice;
  while (!device_->WaitUntilIdle(kPoll)) {
    if (!Interrupted()) continue;
    // Wakes a transfer that waits for a silent unit at once.
    if (transfer) device_->CancelOperation();
    if (!finishes) return std::nullopt;
  }
  // The worker records the outcome before it lets the code go.
  return device_->LastOutcome();
}

bool UnitSession::StopJog() {
  const std::uint64_t writes = front_end_.OffsetWrites();
  if (!device_->ReleaseJog()) return true;
  // A pass of jog stop ends with a status query; if a jog was running its
  // stop brings one more. Two writes of the offset after the release mean
  // that at least one whole pass has gone out.
  const bool stopped =
      front_end_.WaitForOffsetWrites(writes + 2, Clock::now() + ExchangeAllowance(8));
  device_->SetPendingOperation(Operation::kNone);
  return stopped;
}

void UnitSession::StopWorker() {
  if (device_) device_->StopWorker();
}

void UnitSession::StopMotion() {
  if (device_) device_->StopWorkerAndMotion();
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
