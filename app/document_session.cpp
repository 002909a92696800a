// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/document_session.h"

#include <utility>

#include "device/operation.h"
#include "ui/window_commands.h"

namespace stravon::app {

const std::int32_t DocumentSession::kIdle = static_cast<std::int32_t>(Operation::kNone);
const std::int32_t DocumentSession::kJogPlusCode = static_cast<std::int32_t>(Operation::kJogPlus);
const std::int32_t DocumentSession::kJogMinusCode = static_cast<std::int32_t>(Operation::kJogMinus);
const std::int32_t DocumentSession::kJogStopCode = static_cast<std::int32_t>(Operation::kJogStop);

DocumentSession::DocumentSession(FrontEnd& front_end, SessionOptions options)
    : session_(std::make_unique<DeviceSession>(&front_end, std::move(options))) {}

DocumentSession::~DocumentSession() { StopWorker(); }

void DocumentSession::StartWorker() { session_->StartWorker(); }

void DocumentSession::StopWorker() {
  // Ending the worker replaces a running jog; the session then sends the stop
  // as the worker's last exchange, so closing never leaves the motor running.
  if (session_->WorkerRunning()) session_->StopWorkerAndMotion();
}
bool DocumentSession::WorkerRunning() const { return session_->WorkerRunning(); }

bool DocumentSession::Connected() const { return session_->Connected(); }
bool DocumentSession::HardwareSettingsRead() const { return session_->HardwareSettingsRead(); }
HardwareSettings DocumentSession::CurrentSettings() const { return session_->CurrentSettings(); }

StageUnitState DocumentSession::UnitState() const {
  return {session_->HardwareSettingsRead(), session_->SeriesIndex(),
          session_->CurrentSettings().TravelSoftLimit};
}

TestSequence DocumentSession::Protocol() const { return session_->Protocol(); }
std::int32_t DocumentSession::PendingOperation() const {
  return static_cast<std::int32_t>(session_->PendingOperation());
}

bool DocumentSession::CommandEnabled(Command command) const {
  return ::stravon::CommandEnabled(command, session_->Connected());
}

int DocumentSession::CommitSequence(StageModel& stage) {
  TestSequence protocol = session_->Protocol();
  const int result = stage.CommitSequence(session_->CurrentSettings(), protocol);
  if (result == 1) session_->SetProtocol(std::move(protocol));
  return result;
}

FileCommandResult DocumentSession::Open(FileCommands& commands, StageModel& stage) {
  TestSequence protocol = session_->Protocol();
  const FileCommandResult result = commands.Open(HardwareSettingsRead(), protocol, stage);
  if (result == FileCommandResult::kDone) session_->SetProtocol(std::move(protocol));
  return result;
}

FileCommandResult DocumentSession::Save(FileCommands& commands, StageModel& stage) {
  TestSequence protocol = session_->Protocol();
  const FileCommandResult result =
      commands.Save(HardwareSettingsRead(), session_->CurrentSettings(), protocol, stage);
  // The commit stands even when the file dialog was cancelled or the write failed.
  if (result != FileCommandResult::kNotReady && result != FileCommandResult::kRefused) {
    session_->SetProtocol(std::move(protocol));
  }
  return result;
}

void DocumentSession::RequestReadDevice() { session_->RequestReadDevice(); }
void DocumentSession::RequestProgramDevice() { session_->RequestProgramDevice(); }
void DocumentSession::RequestMove(std::int32_t target) { session_->RequestMove(target); }
void DocumentSession::RequestProgramHardwareSettings(const HardwareSettings& settings) {
  session_->RequestProgramHardwareSettings(settings);
}
bool DocumentSession::PressJog(bool plus) { return session_->PressJog(plus); }
bool DocumentSession::ReleaseJog() { return session_->ReleaseJog(); }

// The jog buttons call this about every 100 ms while held; without it the
// worker stops the jog on its own after half a second.
void DocumentSession::ConfirmJog() { session_->ConfirmJog(); }

}  // namespace stravon::app
