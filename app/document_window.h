// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <QMdiSubWindow>

#include "app/dialog_hooks.h"
#include "app/document_session.h"
#include "app/qt_front_end.h"
#include "ui/edit_tracker.h"
#include "ui/file_commands.h"
#include "ui/stage_model.h"
#include "ui/window_commands.h"

namespace stravon::views {
class StageView;
}

namespace stravon::app {

class QtSettingsStore;

// One document window: a child frame without caption holding the stage
// view, with the window's front end, stage model and device session. The
// worker starts when the view is first shown and ends when the window closes.
class DocumentWindow : public QMdiSubWindow, private QtFrontEnd::Target {
  Q_OBJECT

 public:
  DocumentWindow(const SessionOptions& options, QtSettingsStore& settings, const DialogHooks& hooks,
                 QWidget* parent = nullptr);
  ~DocumentWindow() override;
  DocumentWindow(const DocumentWindow&) = delete;
  DocumentWindow& operator=(const DocumentWindow&) = delete;

  DocumentSession& Session() { return *session_; }
  QtFrontEnd& Front() { return front_end_; }
  StageModel& Stage() { return stage_; }
  views::StageView& View() { return *view_; }

  bool CommandEnabled(Command command) const;
  // Makes a protocol read from a file this window's, as its own Open would.
  void Load(const TestSequence& protocol);
  // Carries out one of the window's commands; a disabled one does nothing.
  void Execute(Command command);

  // Ends the worker, answering any question it waits on as Cancel; a
  // transfer ends as its Cancel would end it, a jog or move is stopped. Safe
  // to call more than once.
  void Shutdown();

  // Whether the working sequence differs from what the window last opened,
  // saved, programmed or read.
  bool Modified();
  // Before closing: a window with unsaved edits asks Save (while Save is
  // enabled), Discard or Cancel. True when it may close.
  bool ConfirmClose();

 signals:
  // The window has begun to close; it no longer takes the message log.
  void ShutDown();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void AppendOutput(const std::string& text) override;
  void ClearOutput() override;
  int CommitSequence() override;
  void RefreshFromDocument() override;
  void RefreshSettings() override;
  void WriteOffsetField(const std::string& text) override;

  void InitialUpdate();
  // Runs on a short timer: notes finished transfers for Modified() and
  // enables the insert buttons once the unit's settings are known.
  void Poll();
  // Deletes the window once no modal loop of it is on the stack any more.
  void DeleteWhenUnwound();

  const DialogHooks& hooks_;
  QtSettingsStore& settings_;
  QtFrontEnd front_end_;
  StageModel stage_;
  std::unique_ptr<DocumentSession> session_;
  FileCommands file_commands_;
  views::StageView* view_ = nullptr;
  EditTracker edits_;
  std::uint64_t outcomes_seen_ = 0;
  bool shut_down_ = false;
};

}  // namespace stravon::app
