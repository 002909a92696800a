// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/document_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/qt_settings_store.h"
#include "device/operation.h"
#include "protocol/number_text.h"
#include "views/output_pane.h"
#include "views/queued_progress_window.h"
#include "views/stage_view.h"

namespace stravon::app {
namespace {

// The child frame is as tall as the form and a little wider.
constexpr int kExtraWidth = 42;

}  // namespace

DocumentWindow::DocumentWindow(const SessionOptions& options, QtSettingsStore& settings,
                               const DialogHooks& hooks, QWidget* parent)
    : QMdiSubWindow(parent, Qt::FramelessWindowHint),
      hooks_(hooks),
      settings_(settings),
      front_end_(this),
      stage_(front_end_),
      session_(std::make_unique<DocumentSession>(front_end_, options)),
      file_commands_(front_end_, settings,
                     QCoreApplication::applicationFilePath().toStdString()) {
  setWindowTitle("Stravon");
  setAttribute(Qt::WA_DeleteOnClose, false);

  views::StageView::Hooks view_hooks;
  view_hooks.unit_state = [this] { return session_->UnitState(); };
  view_hooks.edit_set = [this](TestSet& set, double offset) {
    if (!hooks_.set_editor) return false;
    const HardwareSettings settings_now = session_->CurrentSettings();
    QtFrontEnd::ModalScope scope(front_end_, nullptr);
    return hooks_.set_editor(this, set, offset, static_cast<double>(settings_now.TravelSoftLimit),
                             static_cast<double>(settings_now.MotorPitch));
  };
  view_hooks.offset_help = [this] {
    if (!hooks_.offset_help) return;
    QtFrontEnd::ModalScope scope(front_end_, nullptr);
    hooks_.offset_help(this);
  };

  // The form sits at the top left of a frame that is wider than it.
  auto* frame = new QWidget;
  frame->setAutoFillBackground(true);
  QPalette palette = frame->palette();
  palette.setColor(QPalette::Window, QColor(0xFA, 0xFA, 0xFA));
  frame->setPalette(palette);
  const QSize form = views::StageView::FormSize();
  frame->setFixedSize(form.width() + kExtraWidth, form.height());
  view_ = new views::StageView(stage_, std::move(view_hooks), frame);
  view_->move(0, 0);
  setWidget(frame);
  setGeometry(0, 0, frame->width(), frame->height());

  front_end_.SetTarget(this);
  // Called on the worker thread; the view outlives the worker.
  front_end_.SetProgressFactory([view = view_, &settings](const std::string& text) {
    return std::make_unique<views::QueuedProgressWindow>(view, settings, text);
  });
  connect(view_, &views::StageView::FirstShown, this, &DocumentWindow::InitialUpdate);
  view_->SetInsertAvailable(false);
  auto* poll = new QTimer(this);
  connect(poll, &QTimer::timeout, this, &DocumentWindow::Poll);
  poll->start(100);
}

DocumentWindow::~DocumentWindow() {
  Shutdown();
  // The view follows the stage model, which goes before the widgets do.
  delete view_;
  view_ = nullptr;
}

void DocumentWindow::InitialUpdate() {
  stage_.InitialUpdate(session_->Protocol());
  if (!front_end_.ShuttingDown()) session_->StartWorker();
}

bool DocumentWindow::CommandEnabled(Command command) const {
  return !front_end_.ShuttingDown() && session_->CommandEnabled(command);
}

void DocumentWindow::Load(const TestSequence& protocol) {
  session_->Device().SetProtocol(protocol);
  file_commands_.ShowOpened(protocol, stage_);
  edits_.Remember(protocol);
}

void DocumentWindow::Execute(Command command) {
  if (!CommandEnabled(command)) return;
  // A transfer that ended is noted before a commit can change the protocol.
  Poll();
  switch (command) {
    case Command::kFileOpen:
      if (session_->Open(file_commands_, stage_) == FileCommandResult::kDone) {
        edits_.Remember(session_->Protocol());
      }
      break;
    case Command::kFileSave:
      if (session_->Save(file_commands_, stage_) == FileCommandResult::kDone) {
        edits_.Remember(session_->Protocol());
      }
      break;
    case Command::kReadDevice:
      session_->RequestReadDevice();
      break;
    case Command::kProgramDevice:
      session_->Device().SetVerifyAfterProgramming(VerifyAfterProgramming(settings_));
      session_->RequestProgramDevice();
      break;
    case Command::kHardwareSettings:
      if (hooks_.hardware_settings) {
        QtFrontEnd::ModalScope scope(front_end_, nullptr);
        hooks_.hardware_settings(this, *session_);
      }
      break;
    case Command::kMoveToPosition:
      if (hooks_.move_to_position) {
        QtFrontEnd::ModalScope scope(front_end_, nullptr);
        hooks_.move_to_position(this, *session_);
      }
      break;
    default:
      break;
  }
}

void DocumentWindow::Shutdown() {
  // A jog must not outlive its window; the worker's end stops the motor.
  session_->ReleaseJog();
  front_end_.Shutdown();
  session_->StopWorker();
  if (shut_down_) return;
  shut_down_ = true;
  session_->ReleaseLogSink();
  emit ShutDown();
}

void DocumentWindow::Poll() {
  if (front_end_.ShuttingDown()) return;
  view_->SetInsertAvailable(session_->HardwareSettingsRead());
  const DeviceSession& device = session_->Device();
  const std::uint64_t count = device.OutcomeCount();
  if (count == outcomes_seen_) return;
  outcomes_seen_ = count;
  // A read or a program that went through leaves the unit holding the
  // document's protocol; a verify that found a difference did not.
  const Outcome outcome = device.LastOutcome();
  if (outcome.Done() && (outcome.operation == Operation::kReadDevice ||
                         outcome.operation == Operation::kProgramDevice)) {
    edits_.Remember(session_->Protocol());
  }
}

bool DocumentWindow::Modified() {
  Poll();
  return edits_.Modified(stage_.WorkingSequence());
}

bool DocumentWindow::ConfirmClose() {
  if (front_end_.ShuttingDown() || !Modified()) return true;
  QMessageBox box(QMessageBox::Warning, "Stravon", kUnsavedEditsQuestion, QMessageBox::NoButton,
                  this);
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

int DocumentWindow::CommitSequence() {
  Poll();
  return session_->CommitSequence(stage_);
}

void DocumentWindow::RefreshFromDocument() { stage_.RefreshFromDocument(session_->Protocol()); }

void DocumentWindow::RefreshSettings() { stage_.RefreshSettings(session_->CurrentSettings()); }

void DocumentWindow::WriteOffsetField(const std::string& text) {
  stage_.ShowCurrentOffset(ParseLeadingDouble(text));
}

}  // namespace stravon::app
