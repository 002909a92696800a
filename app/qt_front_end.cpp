// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_front_end.h"

#include <algorithm>
#include <utility>

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <QWidget>

namespace stravon::app {
namespace {

QMessageBox::Icon IconOf(FrontEnd::MessageKind kind) {
  switch (kind) {
    case FrontEnd::MessageKind::kInformation:
      return QMessageBox::Information;
    case FrontEnd::MessageKind::kWarning:
      return QMessageBox::Warning;
    case FrontEnd::MessageKind::kError:
      return QMessageBox::Critical;
  }
  return QMessageBox::Warning;
}

}  // namespace

QtFrontEnd::ModalScope::ModalScope(QtFrontEnd& front_end, QDialog* dialog)
    : front_end_(front_end), dialog_(dialog) {
  ++front_end_.modal_depth_;
  if (dialog != nullptr) front_end_.open_dialogs_.emplace_back(dialog);
}

QtFrontEnd::ModalScope::~ModalScope() {
  --front_end_.modal_depth_;
  auto& dialogs = front_end_.open_dialogs_;
  dialogs.erase(
      std::remove_if(dialogs.begin(), dialogs.end(),
                     [this](const QPointer<QDialog>& d) { return d.isNull() || d == dialog_; }),
      dialogs.end());
}

QtFrontEnd::QtFrontEnd(QWidget* dialog_parent, QObject* parent)
    : QObject(parent), dialog_parent_(dialog_parent) {}

QtFrontEnd::~QtFrontEnd() { Shutdown(); }

bool QtFrontEnd::OnInterfaceThread() const { return QThread::currentThread() == thread(); }

void QtFrontEnd::Shutdown() {
  shutdown_.store(true, std::memory_order_release);
  target_ = nullptr;
  // Ends the local loops of the dialogs showing; their callers then see Cancel.
  std::vector<QPointer<QDialog>> dialogs = open_dialogs_;
  if (dialog_parent_) {
    for (QDialog* dialog : dialog_parent_->findChildren<QDialog*>()) dialogs.emplace_back(dialog);
  }
  for (const QPointer<QDialog>& dialog : dialogs) {
    if (dialog && dialog->isVisible()) dialog->reject();
  }
}

FrontEnd::MessageButton QtFrontEnd::ShowMessageBox(MessageKind kind, const std::string& caption,
                                                   const std::string& text) {
  if (ShuttingDown()) return MessageButton::kCancel;
  QMessageBox box(IconOf(kind), QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok, dialog_parent_);
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  int result = QMessageBox::Cancel;
  {
    ModalScope scope(*this, &box);
    result = box.exec();
  }
  return result == QMessageBox::Ok && !ShuttingDown() ? MessageButton::kOk : MessageButton::kCancel;
}

void QtFrontEnd::AppendOutput(const std::string& text) {
  if (ShuttingDown()) return;
  if (!OnInterfaceThread()) {
    QMetaObject::invokeMethod(
        this, [this, text] { AppendOutput(text); }, Qt::QueuedConnection);
    return;
  }
  if (target_) target_->AppendOutput(text);
}

void QtFrontEnd::ClearOutput() {
  if (!ShuttingDown() && target_) target_->ClearOutput();
}

std::optional<std::string> QtFrontEnd::ChooseProtocolFile(FileDialogKind kind,
                                                          const std::string& initial_path) {
  if (ShuttingDown()) return std::nullopt;
  const bool open = kind == FileDialogKind::kOpen;
  QFileDialog dialog(dialog_parent_, open ? "Open" : "Save As",
                     QString::fromStdString(initial_path), "Stravon File (*.tmt)");
  dialog.setDefaultSuffix("tmt");
  dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setWindowModality(Qt::ApplicationModal);
  int result = QDialog::Rejected;
  {
    ModalScope scope(*this, &dialog);
    result = dialog.exec();
  }
  if (result != QDialog::Accepted || ShuttingDown() || dialog.selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  return QDir::toNativeSeparators(dialog.selectedFiles().front()).toStdString();
}

std::unique_ptr<ProgressWindow> QtFrontEnd::CreateProgressWindow(const std::string& text,
                                                                 std::function<void()> cancel) {
  if (ShuttingDown() || !progress_factory_) return nullptr;
  return progress_factory_(text, std::move(cancel));
}

}  // namespace stravon::app
