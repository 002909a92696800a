// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "device/device_session.h"
#include "device/hardware_settings.h"
#include "device/session_event.h"
#include "device/session_request.h"
#include "protocol/front_end.h"
#include "protocol/test_sequence.h"
#include "ui/edit_tracker.h"
#include "ui/file_commands.h"
#include "ui/stage_model.h"

namespace stravon {

// One document window without its widgets: the document's protocol, the
// stage the person edits, and the device session of its unit. Everything
// here runs on the interface thread. Requests go to the session; the
// session's events come back through HandleEvent (a front end calls
// DrainEvents when the event queue wakes it, or waits with WaitFor), which
// renders them into the output pane, message boxes and the progress window,
// and keeps the stage and the document in step with the unit.
class Document {
 public:
  // Told after an event was carried out, so that a window can follow.
  class Listener {
   public:
    virtual ~Listener() = default;
    virtual void EventHandled(const SessionEvent& /*event*/) {}
  };

  Document(FrontEnd& front_end, StageModel& stage, DeviceSessionOptions options);
  // Ends the worker before anything else goes.
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  void SetListener(Listener* listener) { listener_ = listener; }
  DeviceSession& Session() { return *session_; }
  const DeviceSession& Session() const { return *session_; }
  StageModel& Stage() { return stage_; }

  const TestSequence& Protocol() const { return protocol_; }
  // The file the protocol was last opened from or saved to; empty when none.
  const std::string& File() const { return file_; }
  // A protocol read for this document elsewhere (a file named on the command
  // line, say): it becomes the document's and the stage's, unmodified.
  // `file` is where it was read from.
  void Load(const TestSequence& protocol, std::string file = {});
  // A protocol kept when the program last ended without asking: loaded as
  // Load does, but modified until it is saved, programmed or read again.
  void Restore(const TestSequence& protocol);

  // The unit as the events handled so far describe it; null while none is
  // connected.
  const UnitSnapshotPtr& Unit() const { return unit_; }
  bool Connected() const { return unit_ != nullptr; }
  bool SettingsRead() const { return unit_ != nullptr && unit_->settings_read; }
  HardwareSettings Settings() const;
  StageUnitState UnitState() const;
  // The offset (mm) at the unit's last reported position.
  double CurrentOffset() const { return offset_; }

  // Whether the working sequence differs from what was last opened, saved,
  // programmed or read.
  bool Modified() const { return edits_.Modified(stage_.WorkingSequence()); }

  // Checks the stage's working sequence against the unit's settings and, on
  // success, makes it the document's protocol: 1, or -1 after the stage has
  // shown why not.
  int Commit();
  FileCommandResult Open(FileCommands& commands);
  FileCommandResult Save(FileCommands& commands);

  // The requests of the window's commands. A refused request has been told
  // to the person where there is something to tell.
  Submission ReadDevice();
  // Commits first: nothing, and nothing asked of the unit, when the commit
  // was refused (the stage has said why).
  std::optional<Submission> ProgramDevice(bool verify);
  Submission ProgramSettings(const HardwareSettings& settings);
  Submission Move(std::int32_t target);
  Submission Submit(Request request);

  // Carries out every event waiting now. Re-entered from a message box it
  // shows, it returns at once: the outer call goes on once the box closes.
  void DrainEvents();
  // Waits for events and carries each out until `done` says so for one of
  // them, or `deadline` passes (false then).
  bool WaitFor(const std::function<bool(const SessionEvent&)>& done,
               std::chrono::steady_clock::time_point deadline);
  void HandleEvent(const SessionEvent& event);
  // A transfer's progress window is up (from its first step to its end).
  bool InTransfer() const { return progress_ != nullptr; }

 private:
  void ShowProgress(const ProgressEvent& progress);
  void EndProgress();
  void Finished(const FinishedEvent& finished);
  void Tell(Refusal refusal);

  FrontEnd& front_end_;
  StageModel& stage_;
  std::unique_ptr<DeviceSession> session_;
  Listener* listener_ = nullptr;
  TestSequence protocol_;
  std::string file_;
  EditTracker edits_;
  UnitSnapshotPtr unit_;
  double offset_ = 0.0;
  bool draining_ = false;
  // The pane's lines of the last request that failed, until the next starts.
  std::string last_failure_;

  // The progress window of the transfer running now.
  std::unique_ptr<ProgressWindow> progress_;
  RequestId progress_request_ = 0;
  TransferPhase progress_phase_ = TransferPhase::kReading;
  bool cancel_sent_ = false;
};

}  // namespace stravon
