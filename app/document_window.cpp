#include "app/document_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QTimer>

#include "app/qt_settings_store.h"
#include "protocol/number_text.h"
#include "views/output_pane.h"
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
  connect(view_, &views::StageView::FirstShown, this, &DocumentWindow::InitialUpdate);
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

void DocumentWindow::Execute(Command command) {
  if (!CommandEnabled(command)) return;
  switch (command) {
    case Command::kFileOpen:
      session_->Open(file_commands_, stage_);
      break;
    case Command::kFileSave:
      session_->Save(file_commands_, stage_);
      break;
    case Command::kReadDevice:
      session_->RequestReadDevice();
      break;
    case Command::kProgramDevice:
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
}

void DocumentWindow::closeEvent(QCloseEvent* event) {
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

int DocumentWindow::CommitSequence() { return session_->CommitSequence(stage_); }

void DocumentWindow::RefreshFromDocument() { stage_.RefreshFromDocument(session_->Protocol()); }

void DocumentWindow::RefreshSettings() { stage_.RefreshSettings(session_->CurrentSettings()); }

void DocumentWindow::WriteOffsetField(const std::string& text) {
  stage_.ShowCurrentOffset(ParseLeadingDouble(text));
}

}  // namespace stravon::app
