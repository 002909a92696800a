// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <QMdiSubWindow>

#include "app/dialog_hooks.h"
#include "app/qt_front_end.h"
#include "app/session_events.h"
#include "device/device_session.h"
#include "device/session_request.h"
#include "ui/document.h"
#include "ui/file_commands.h"
#include "ui/stage_model.h"
#include "ui/window_commands.h"
#include "ui/window_title.h"

class QSocketNotifier;

namespace stravon::views {
class StageView;
}

namespace stravon::app {

class QtSettingsStore;

// One document window: a tab of the main window, titled after its file and
// unit, holding the stage view, with the window's front end, stage model and
// document (which owns the device session). The worker starts when the view is first shown and
// ends when the window closes. The session's events are carried out when its
// queue wakes the event loop; nothing here polls.
class DocumentWindow : public QMdiSubWindow,
                       private QtFrontEnd::Target,
                       private Document::Listener {
  Q_OBJECT

 public:
  DocumentWindow(const DeviceSessionOptions& options, QtSettingsStore& settings,
                 const DialogHooks& hooks, QWidget* parent = nullptr);
  ~DocumentWindow() override;
  DocumentWindow(const DocumentWindow&) = delete;
  DocumentWindow& operator=(const DocumentWindow&) = delete;

  Document& Doc() { return *document_; }
  const Document& Doc() const { return *document_; }
  DeviceSession& Session() { return document_->Session(); }
  QtFrontEnd& Front() { return front_end_; }
  StageModel& Stage() { return stage_; }
  views::StageView& View() { return *view_; }
  // Each session event, after the window has carried it out.
  SessionEvents& Events() { return events_; }

  bool CommandEnabled(Command command) const;
  // Makes a protocol read from `file` this window's, as its own Open would.
  void Load(const TestSequence& protocol, const QString& file);
  // Named "Untitled N" until it has a file.
  void SetUntitledNumber(int number);
  DocumentTitleParts TitleParts() const;
  // A protocol kept when the program last ended without asking: shown with
  // its edits still unsaved.
  void Restore(const TestSequence& protocol) {
    document_->Restore(protocol);
    UpdateTitle();
  }
  // Carries out one of the window's commands; a disabled one does nothing.
  void Execute(Command command);

  // The jog buttons: a jog runs from an accepted StartJog until StopJog (or
  // until the session stops it because confirmations stopped coming).
  bool StartJog(JogDirection direction);
  void ConfirmJog();
  void StopJog();
  // The direction of this window's jog while it runs.
  std::optional<JogDirection> Jogging() const { return jog_direction_; }
  // The connection as the status bar shows it for this window ("" until
  // the worker has said anything).
  const QString& ConnectionStatus() const { return connection_status_; }

  // Stops a jog, closes the dialogs showing (their callers see Cancel) and
  // ends the worker; a transfer ends as its Cancel would end it, a move is
  // stopped. Nothing is shown afterwards. Safe to call more than once.
  void Shutdown();

  // Whether the working sequence differs from what the window last opened,
  // saved, programmed or read.
  bool Modified() const { return document_->Modified(); }
  // Before closing: a window with unsaved edits asks Save (while Save is
  // enabled), Discard or Cancel. True when it may close.
  bool ConfirmClose() { return ConfirmLosingEdits(kUnsavedEditsQuestion); }
  // The same question before anything else would replace the edits
  // (`question` says what): true when it may go ahead.
  bool ConfirmLosingEdits(const char* question);

 signals:
  // The window has begun to close; it no longer takes the message log.
  void ShutDown();
  // The stage's sequence or fields changed.
  void StageChanged();
  // The title or the unsaved marker changed.
  void TitleChanged();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void AppendOutput(const std::string& text) override;
  void ClearOutput() override;
  void EventHandled(const SessionEvent& event) override;

  void InitialUpdate();
  // Title and unsaved marker from the document's file, edits and unit.
  void UpdateTitle();
  // A file opened or saved through this window's own commands.
  void FileUsed(FileCommandResult result);
  void Drain();
  // Deletes the window once no modal loop of it is on the stack any more.
  void DeleteWhenUnwound();

  const DialogHooks& hooks_;
  QtSettingsStore& settings_;
  QtFrontEnd front_end_;
  StageModel stage_;
  std::unique_ptr<Document> document_;
  SessionEvents events_;
  QString connection_status_;
  FileCommands file_commands_;
  views::StageView* view_ = nullptr;
  QSocketNotifier* wake_ = nullptr;
  std::optional<JogDirection> jog_direction_;
  RequestId jog_request_ = 0;
  int untitled_number_ = 1;
  bool shut_down_ = false;
};

}  // namespace stravon::app
