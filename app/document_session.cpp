#include "app/document_session.h"

#include <utility>

#include "device/device_commands.h"

namespace stravon::app {

const std::int32_t DocumentSession::kIdle = kOperationNone;
const std::int32_t DocumentSession::kJogPlusCode = kOperationJogPlus;
const std::int32_t DocumentSession::kJogMinusCode = kOperationJogMinus;
const std::int32_t DocumentSession::kJogStopCode = kOperationJogStop;

DocumentSession::DocumentSession(FrontEnd& front_end, SessionOptions options)
    : document_(std::make_unique<Document>(&front_end, std::move(options))) {}

DocumentSession::~DocumentSession() { StopWorker(); }

void DocumentSession::StartWorker() { document_->StartWorker(); }

void DocumentSession::StopWorker() {
  if (!document_->WorkerRunning()) return;
  const std::int32_t code = document_->PendingOperation();
  document_->StopWorker();
  const bool moving = code == kOperationJogPlus || code == kOperationJogMinus ||
                      code == kOperationJogStop || document_->Link().JogSpeedCode() != 0;
  // The end code replaces a jog without stopping the motor; with the worker
  // gone the port is ours to send the stop.
  if (moving && document_->Link().Port().IsOpen()) document_->Link().SendCommand(StopCommand());
}
bool DocumentSession::WorkerRunning() const { return document_->WorkerRunning(); }

bool DocumentSession::Connected() const { return document_->Connected(); }
bool DocumentSession::HardwareSettingsRead() const { return document_->HardwareSettingsRead(); }
HardwareSettings DocumentSession::CurrentSettings() const { return document_->CurrentSettings(); }

StageUnitState DocumentSession::UnitState() const {
  return {document_->HardwareSettingsRead(), document_->SeriesIndex(),
          document_->CurrentSettings().TravelSoftLimit};
}

TestSequence DocumentSession::Protocol() const { return document_->Protocol(); }
std::int32_t DocumentSession::PendingOperation() const { return document_->PendingOperation(); }

bool DocumentSession::CommandEnabled(Command command) const {
  return document_->CommandEnabled(static_cast<int>(command));
}

int DocumentSession::CommitSequence(StageModel& stage) {
  TestSequence protocol = document_->Protocol();
  const int result = stage.CommitSequence(document_->CurrentSettings().TravelSoftLimit, protocol);
  if (result == 1) document_->SetProtocol(std::move(protocol));
  return result;
}

FileCommandResult DocumentSession::Open(FileCommands& commands, StageModel& stage) {
  TestSequence protocol = document_->Protocol();
  const FileCommandResult result = commands.Open(HardwareSettingsRead(), protocol, stage);
  if (result == FileCommandResult::kDone) document_->SetProtocol(std::move(protocol));
  return result;
}

FileCommandResult DocumentSession::Save(FileCommands& commands, StageModel& stage) {
  TestSequence protocol = document_->Protocol();
  const FileCommandResult result = commands.Save(
      HardwareSettingsRead(), document_->CurrentSettings().TravelSoftLimit, protocol, stage);
  // The commit stands even when the file dialog was cancelled or the write failed.
  if (result != FileCommandResult::kNotReady && result != FileCommandResult::kRefused) {
    document_->SetProtocol(std::move(protocol));
  }
  return result;
}

void DocumentSession::RequestReadDevice() { document_->RequestReadDevice(); }
void DocumentSession::RequestProgramDevice() { document_->RequestProgramDevice(); }
void DocumentSession::RequestMove(std::int32_t target) { document_->RequestMove(target); }
void DocumentSession::RequestProgramHardwareSettings(const HardwareSettings& settings) {
  document_->RequestProgramHardwareSettings(settings);
}
bool DocumentSession::PressJog(bool plus) { return document_->PressJog(plus); }
bool DocumentSession::ReleaseJog() { return document_->ReleaseJog(); }

}  // namespace stravon::app
