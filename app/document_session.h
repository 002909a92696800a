// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>

#include "device/device_session.h"
#include "device/hardware_settings.h"
#include "protocol/front_end.h"
#include "protocol/test_sequence.h"
#include "ui/file_commands.h"
#include "ui/stage_model.h"
#include "ui/window_commands.h"

namespace stravon::app {

using SessionOptions = DeviceSessionOptions;

// The desktop program's one way to a document window's device session: the
// protocol, what is known about the unit, the pending operation and the
// worker. Everything else in app/ and views/ goes through here.
class DocumentSession {
 public:
  // Pending-operation codes, for tests and the jog buttons' callers.
  static const std::int32_t kIdle;
  static const std::int32_t kJogPlusCode;
  static const std::int32_t kJogMinusCode;
  static const std::int32_t kJogStopCode;

  DocumentSession(FrontEnd& front_end, SessionOptions options);
  // Stops and joins the worker.
  ~DocumentSession();
  DocumentSession(const DocumentSession&) = delete;
  DocumentSession& operator=(const DocumentSession&) = delete;

  void StartWorker();
  void StopWorker();
  bool WorkerRunning() const;

  bool Connected() const;
  bool HardwareSettingsRead() const;
  HardwareSettings CurrentSettings() const;
  StageUnitState UnitState() const;
  TestSequence Protocol() const;
  std::int32_t PendingOperation() const;

  // Whether the window's command is enabled now; commands that are not the
  // document's are always enabled.
  bool CommandEnabled(Command command) const;

  // Checks the stage's working sequence and, on success, makes it the
  // document's protocol: 1, or -1 after the stage has shown why not.
  int CommitSequence(StageModel& stage);
  FileCommandResult Open(FileCommands& commands, StageModel& stage);
  FileCommandResult Save(FileCommands& commands, StageModel& stage);

  void RequestReadDevice();
  void RequestProgramDevice();
  void RequestMove(std::int32_t target);
  void RequestProgramHardwareSettings(const HardwareSettings& settings);
  bool PressJog(bool plus);
  bool ReleaseJog();
  // The interface still holds the jog button; called on a short cadence
  // while it does.
  void ConfirmJog();
  // See DeviceSession::ReleaseLogSink and ClaimLogSink.
  void ReleaseLogSink() { session_->ReleaseLogSink(); }
  bool ClaimLogSink() { return session_->ClaimLogSink(); }

  // For the dialogs that need more of the session than the above.
  DeviceSession& Device() { return *session_; }

 private:
  std::unique_ptr<DeviceSession> session_;
};

}  // namespace stravon::app
