// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/document_window.h"

#include <type_traits>
#include <variant>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>

#include "app/qt_settings_store.h"
#include "ui/session_text.h"
#include "ui/window_commands.h"
#include "views/output_pane.h"
#include "views/progress_window.h"
#include "views/stage_view.h"

namespace stravon::app {
DocumentWindow::DocumentWindow(const DeviceSessionOptions& options, QtSettingsStore& settings,
                               const DialogHooks& hooks, QWidget* parent)
    : QMdiSubWindow(parent, Qt::FramelessWindowHint),
      hooks_(hooks),
      settings_(settings),
      front_end_(this),
      stage_(front_end_),
      document_(std::make_unique<Document>(front_end_, stage_, options)),
      file_commands_(front_end_, settings, QCoreApplication::applicationFilePath().toStdString()) {
  setAttribute(Qt::WA_DeleteOnClose, false);

  views::StageView::Hooks view_hooks;
  view_hooks.unit_state = [this] { return document_->UnitState(); };
  view_hooks.edit_set = [this](TestSet& set, double offset) {
    if (!hooks_.set_editor) return false;
    const HardwareSettings settings_now = document_->Settings();
    QtFrontEnd::ModalScope scope(front_end_, nullptr);
    return hooks_.set_editor(this, set, offset, static_cast<double>(settings_now.TravelSoftLimit),
                             static_cast<double>(settings_now.MotorPitch));
  };
  view_hooks.offset_help = [this] {
    if (!hooks_.offset_help) return;
    QtFrontEnd::ModalScope scope(front_end_, nullptr);
    hooks_.offset_help(this);
  };

  view_ = new views::StageView(stage_, std::move(view_hooks));
  setWidget(view_);

  front_end_.SetTarget(this);
  front_end_.SetProgressFactory([view = view_, &settings](const std::string& text,
                                                          std::function<void()> cancel) {
    return std::make_unique<views::WidgetProgressWindow>(view, settings, text, std::move(cancel));
  });
  document_->SetListener(this);
  connect(view_, &views::StageView::FirstShown, this, &DocumentWindow::InitialUpdate);
  connect(view_, &views::StageView::ModelChanged, this, &DocumentWindow::StageChanged);
  connect(this, &DocumentWindow::StageChanged, this, &DocumentWindow::UpdateTitle);
  view_->SetInsertAvailable(false);
  UpdateTitle();

  // The queue's eventfd becomes readable once per burst of events.
  const int fd = document_->Session().Events().WakeFd();
  if (fd >= 0) {
    wake_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(wake_, &QSocketNotifier::activated, this, &DocumentWindow::Drain);
  }
}

DocumentWindow::~DocumentWindow() {
  Shutdown();
  // The notifier watches a descriptor of the session, which goes with the
  // document below, before QObject deletes the children.
  delete wake_;
  wake_ = nullptr;
  // The view follows the stage model, which goes before the widgets do.
  delete view_;
  view_ = nullptr;
}

void DocumentWindow::InitialUpdate() {
  stage_.InitialUpdate(document_->Protocol());
  if (!front_end_.ShuttingDown()) document_->Session().StartWorker();
}

void DocumentWindow::Drain() {
  // A message box shown for an event runs a nested event loop while the
  // descriptor stays readable until this drain ends: without this, each
  // pass of that loop would call here again.
  wake_->setEnabled(false);
  document_->DrainEvents();
  if (!shut_down_) wake_->setEnabled(true);
}

void DocumentWindow::EventHandled(const SessionEvent& event) {
  if (shut_down_) return;
  view_->SetInsertAvailable(document_->SettingsRead());
  if (const std::optional<std::string> status = ConnectionStatusText(event)) {
    connection_status_ = QString::fromStdString(*status);
  }
  // A jog the session ended by itself (the unit went, or the confirmations
  // stopped coming) is no longer this window's.
  if (std::holds_alternative<DisconnectedEvent>(event)) {
    jog_direction_.reset();
  } else if (const auto* stopped = std::get_if<JogStoppedEvent>(&event);
             stopped != nullptr && stopped->request == jog_request_) {
    jog_direction_.reset();
  }
  // A read or a program changes what the list last agreed with; a
  // connection changes the unit.
  UpdateTitle();
  emit events_.Handled(event);
}

bool DocumentWindow::CommandEnabled(Command command) const {
  // Nothing else may start while a transfer runs; the indicator still shows
  // the connection.
  const bool transfer = document_->InTransfer() && command != Command::kConnectionIndicator;
  return !front_end_.ShuttingDown() &&
         ::stravon::CommandEnabled(command, document_->Connected() && !transfer);
}

void DocumentWindow::Load(const TestSequence& protocol, const QString& file) {
  document_->Load(protocol, file.toStdString());
  file_commands_.ShowOpened(protocol, stage_);
  UpdateTitle();
}

void DocumentWindow::SetUntitledNumber(int number) {
  untitled_number_ = number;
  UpdateTitle();
}

DocumentTitleParts DocumentWindow::TitleParts() const {
  return {document_->File(), untitled_number_, document_->Unit()};
}

void DocumentWindow::UpdateTitle() {
  const QString title = QString::fromStdString(DocumentWindowTitle(TitleParts()));
  const bool modified = Modified();
  if (title == windowTitle() && modified == isWindowModified()) return;
  setWindowTitle(title);
  setWindowModified(modified);
  emit TitleChanged();
}

void DocumentWindow::FileUsed(FileCommandResult result) {
  if (result != FileCommandResult::kDone) return;
  settings_.AddRecentFile(QFileInfo(QString::fromStdString(document_->File())).absoluteFilePath());
  UpdateTitle();
}

void DocumentWindow::Execute(Command command) {
  if (!CommandEnabled(command)) return;
  switch (command) {
    case Command::kFileOpen:
      if (ConfirmLosingEdits(kUnsavedEditsBeforeOpenQuestion)) {
        FileUsed(document_->Open(file_commands_));
      }
      break;
    case Command::kFileSave:
      FileUsed(document_->Save(file_commands_));
      break;
    case Command::kReadDevice:
      if (ConfirmLosingEdits(kUnsavedEditsBeforeReadQuestion)) document_->ReadDevice();
      break;
    case Command::kProgramDevice:
      document_->ProgramDevice(VerifyAfterProgramming(settings_));
      break;
    case Command::kHardwareSettings:
      if (hooks_.hardware_settings) {
        QtFrontEnd::ModalScope scope(front_end_, nullptr);
        hooks_.hardware_settings(this, *document_, events_);
      }
      break;
    case Command::kMoveToPosition:
      if (hooks_.move_to_position) {
        QtFrontEnd::ModalScope scope(front_end_, nullptr);
        hooks_.move_to_position(this, *document_);
      }
      break;
    default:
      break;
  }
}

bool DocumentWindow::StartJog(JogDirection direction) {
  if (front_end_.ShuttingDown()) return false;
  // Refused silently: a busy unit or a lost connection is shown elsewhere.
  const Submission submission = document_->Session().Submit(JogRequest{direction});
  if (!submission.Accepted()) return false;
  jog_direction_ = direction;
  jog_request_ = submission.id;
  return true;
}

void DocumentWindow::ConfirmJog() {
  if (jog_direction_) document_->Session().Submit(JogConfirmation{});
}

void DocumentWindow::StopJog() {
  if (!jog_direction_) return;
  jog_direction_.reset();
  // Refused only when the session stopped the jog already.
  document_->Session().Submit(JogStopRequest{});
}

void DocumentWindow::Shutdown() {
  StopJog();
  front_end_.Shutdown();
  if (wake_ != nullptr) wake_->setEnabled(false);
  // The motor stops with the worker's last exchange.
  if (document_->Session().WorkerRunning()) document_->Session().StopWorkerAndMotion();
  if (shut_down_) return;
  // The last events (a transfer cut short) close the progress window and
  // reach whoever follows the window; the front end shows nothing more.
  document_->DrainEvents();
  shut_down_ = true;
  document_->Session().ReleaseLogSink();
  emit ShutDown();
}

bool DocumentWindow::ConfirmLosingEdits(const char* question) {
  if (front_end_.ShuttingDown() || !Modified()) return true;
  QMessageBox box(QMessageBox::Warning, "Stravon", question, QMessageBox::NoButton, this);
  box.setTextFormat(Qt::PlainText);
  QPushButton* save = nullptr;
  // Save needs the unit's settings to check the sets against.
  if (CommandEnabled(Command::kFileSave)) save = box.addButton(QMessageBox::Save);
  QPushButton* discard = box.addButton(QMessageBox::Discard);
  QPushButton* cancel = box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(save != nullptr ? save : cancel);
  box.setEscapeButton(cancel);
  {
    QtFrontEnd::ModalScope scope(front_end_, &box);
    box.exec();
  }
  if (box.clickedButton() == discard) return true;
  if (save != nullptr && box.clickedButton() == save && !front_end_.ShuttingDown()) {
    Execute(Command::kFileSave);
    return !Modified();
  }
  return false;
}

void DocumentWindow::closeEvent(QCloseEvent* event) {
  if (!ConfirmClose()) {
    event->ignore();
    return;
  }
  Shutdown();
  QMdiSubWindow::closeEvent(event);
  if (!event->isAccepted()) return;
  hide();
  DeleteWhenUnwound();
}

void DocumentWindow::DeleteWhenUnwound() {
  // Closed from inside one of its own message boxes or dialogs: that loop
  // has been told to end, and its caller still runs on this window.
  if (front_end_.ModalDepth() > 0) {
    QTimer::singleShot(10, this, &DocumentWindow::DeleteWhenUnwound);
    return;
  }
  deleteLater();
}

void DocumentWindow::AppendOutput(const std::string& text) { view_->Output().AppendOutput(text); }

void DocumentWindow::ClearOutput() { view_->Output().ClearOutput(); }

}  // namespace stravon::app
