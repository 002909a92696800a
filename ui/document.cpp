// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/document.h"

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "ui/session_text.h"

namespace stravon {

Document::Document(FrontEnd& front_end, StageModel& stage, DeviceSessionOptions options)
    : front_end_(front_end),
      stage_(stage),
      session_(std::make_unique<DeviceSession>(std::move(options))) {}

Document::~Document() {
  // A jog or a move must not outlive its window.
  if (session_->WorkerRunning()) session_->StopWorkerAndMotion();
}

void Document::Load(const TestSequence& protocol, std::string file) {
  protocol_ = protocol;
  file_ = std::move(file);
  stage_.RefreshFromDocument(protocol_);
  edits_.Remember(protocol_);
}

void Document::Restore(const TestSequence& protocol) {
  Load(protocol);
  edits_.Forget();
}

HardwareSettings Document::Settings() const { return unit_ ? unit_->settings : HardwareSettings{}; }

StageUnitState Document::UnitState() const {
  if (!unit_) return {};
  return {unit_->settings_read, unit_->series_index, unit_->settings.TravelSoftLimit};
}

int Document::Commit() {
  TestSequence protocol = protocol_;
  const int result = stage_.CommitSequence(Settings(), protocol);
  if (result == 1) protocol_ = std::move(protocol);
  return result;
}

FileCommandResult Document::Open(FileCommands& commands) {
  TestSequence protocol = protocol_;
  const FileCommandResult result = commands.Open(SettingsRead(), protocol, stage_);
  if (result == FileCommandResult::kDone) {
    protocol_ = std::move(protocol);
    file_ = commands.LastFile();
    edits_.Remember(protocol_);
  }
  return result;
}

FileCommandResult Document::Save(FileCommands& commands) {
  if (!SettingsRead()) return FileCommandResult::kNotReady;
  // The commit stands even when the file dialog is cancelled or the write fails.
  if (Commit() != 1) return FileCommandResult::kRefused;
  const FileCommandResult result = commands.Save(protocol_);
  if (result == FileCommandResult::kDone) {
    file_ = commands.LastFile();
    edits_.Remember(protocol_);
  }
  return result;
}

void Document::Tell(Refusal refusal) {
  const std::string text = RefusalText(refusal);
  if (!text.empty()) {
    front_end_.ShowMessageBox(FrontEnd::MessageKind::kError, kMessageCaption, text);
  }
}

Submission Document::Submit(Request request) {
  const Submission submission = session_->Submit(std::move(request));
  if (!submission.Accepted()) Tell(*submission.refusal);
  return submission;
}

Submission Document::ReadDevice() { return Submit(ReadRequest{}); }

std::optional<Submission> Document::ProgramDevice(bool verify) {
  front_end_.ClearOutput();
  if (Commit() != 1) return std::nullopt;
  return Submit(ProgramRequest{protocol_, Settings(), verify});
}

Submission Document::ProgramSettings(const HardwareSettings& settings) {
  return Submit(ProgramSettingsRequest{settings});
}

Submission Document::Move(std::int32_t target) { return Submit(MoveRequest{target}); }

void Document::DrainEvents() {
  if (draining_) return;
  draining_ = true;
  session_->Events().ClearWake();
  while (std::optional<SessionEvent> event = session_->Events().TryPop()) HandleEvent(*event);
  draining_ = false;
}

bool Document::WaitFor(const std::function<bool(const SessionEvent&)>& done,
                       std::chrono::steady_clock::time_point deadline) {
  while (std::optional<SessionEvent> event = session_->Events().WaitPop(deadline)) {
    HandleEvent(*event);
    if (done(*event)) return true;
  }
  return false;
}

void Document::ShowProgress(const ProgressEvent& progress) {
  if (progress_ == nullptr || progress_request_ != progress.request ||
      progress_phase_ != progress.phase) {
    EndProgress();
    progress_request_ = progress.request;
    progress_phase_ = progress.phase;
    cancel_sent_ = false;
    DeviceSession* session = session_.get();
    progress_ = front_end_.CreateProgressWindow(ProgressTitle(progress.phase),
                                                [session] { session->Submit(CancelRequest{}); });
    if (progress_ == nullptr) return;
    progress_->SetBounds(0, progress.total);
    progress_->SetStepSize(1);
  }
  progress_->SetWaitingSince(progress.waiting_since);
  if (progress.done > 0) progress_->Advance();
  // A window that only sets a flag is read here.
  if (progress_->IsCancelled() && !cancel_sent_) {
    cancel_sent_ = true;
    session_->Submit(CancelRequest{});
  }
}

void Document::EndProgress() {
  progress_.reset();
  progress_request_ = 0;
}

void Document::Finished(const FinishedEvent& finished) {
  EndProgress();
  const Outcome& outcome = finished.outcome;
  if (outcome.operation == Operation::kReadDevice && outcome.Done()) {
    DeviceSetsToProtocol(finished.sets, finished.set_count, Settings(), protocol_);
    stage_.RefreshFromDocument(protocol_);
  }
  const std::string text = FinishedText(finished);
  front_end_.AppendOutput(text);
  // Kept for a pane that the unit's going clears a moment later.
  last_failure_ = outcome.Done() ? std::string() : text;
  if (const std::string box = FailureBoxText(finished); !box.empty()) {
    front_end_.ShowMessageBox(FrontEnd::MessageKind::kError, kMessageCaption, box);
  }
  // A read or a program that went through leaves the unit holding the
  // document's protocol; a verify that found a difference did not.
  if (outcome.Done() && (outcome.operation == Operation::kReadDevice ||
                         outcome.operation == Operation::kProgramDevice)) {
    edits_.Remember(protocol_);
  }
}

void Document::HandleEvent(const SessionEvent& event) {
  std::visit(
      [this](const auto& e) {
        using Event = std::decay_t<decltype(e)>;
        if constexpr (std::is_same_v<Event, StartedEvent>) {
          // Each operation starts with a clean pane.
          if (e.operation != Operation::kMove) front_end_.ClearOutput();
          last_failure_.clear();
        } else if constexpr (std::is_same_v<Event, ProgressEvent>) {
          ShowProgress(e);
        } else if constexpr (std::is_same_v<Event, FinishedEvent>) {
          Finished(e);
        } else if constexpr (std::is_same_v<Event, ConnectedEvent>) {
          unit_ = e.unit;
          offset_ = unit_->offset;
          front_end_.AppendOutput(ConnectedText(*unit_));
          if (unit_->settings_read) stage_.RefreshSettings(unit_->settings);
        } else if constexpr (std::is_same_v<Event, ConnectionFailedEvent>) {
          front_end_.AppendOutput(ConnectionFailedText(e));
        } else if constexpr (std::is_same_v<Event, DisconnectedEvent>) {
          unit_ = nullptr;
          EndProgress();
          front_end_.ClearOutput();
          // The last failure stays until the next operation: the operator who
          // looks back at the screen must still see why it stopped.
          if (!last_failure_.empty()) front_end_.AppendOutput(last_failure_);
        } else if constexpr (std::is_same_v<Event, SettingsChangedEvent>) {
          unit_ = e.unit;
          stage_.RefreshSettings(unit_->settings);
        } else if constexpr (std::is_same_v<Event, PositionEvent>) {
          offset_ = e.offset;
          stage_.ShowCurrentOffset(e.offset);
        } else if constexpr (std::is_same_v<Event, UnitNoticeEvent>) {
          const MessageText text = NoticeText(e);
          front_end_.ShowMessageBox(FrontEnd::MessageKind::kError, text.caption, text.text);
        } else if constexpr (std::is_same_v<Event, JogStoppedEvent>) {
          if (const std::string box = JogFailureText(e); !box.empty()) {
            front_end_.ShowMessageBox(FrontEnd::MessageKind::kError, kMessageCaption, box);
          }
        } else if constexpr (std::is_same_v<Event, OutputEvent>) {
          front_end_.AppendOutput(e.text);
        }
      },
      event);
  if (listener_ != nullptr) listener_->EventHandled(event);
}

}  // namespace stravon
