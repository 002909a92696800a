// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_front_end.h"

#include <algorithm>
#include <utility>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>
#include <QDialog>
#include <QWidget>

namespace stravon::app {
namespace {

// A flush from the event loop hands back to it after this long, and joined
// output is inserted in pieces of about this size, so that a flood of
// messages never holds the window for long.
constexpr qint64 kFlushBudgetMs = 8;
constexpr std::size_t kOutputChunkBytes = 16 * 1024;

// Forwards to the real progress window, if there is one, and reads as
// cancelled once the window is closing, so that a transfer ends at its next
// step instead of running to its end while the window waits for the worker.
class ClosingAwareProgress : public ProgressWindow {
 public:
  ClosingAwareProgress(std::unique_ptr<ProgressWindow> inner, const std::atomic<bool>& closing)
      : inner_(std::move(inner)), closing_(closing) {}

  void SetBounds(int lower, int upper) override {
    if (inner_) inner_->SetBounds(lower, upper);
  }
  void SetStepSize(int step) override {
    if (inner_) inner_->SetStepSize(step);
  }
  void Advance() override {
    if (inner_) inner_->Advance();
  }
  void PumpPendingMessages() override {
    if (inner_) inner_->PumpPendingMessages();
  }
  bool IsCancelled() const override {
    return closing_.load(std::memory_order_acquire) || (inner_ && inner_->IsCancelled());
  }

 private:
  std::unique_ptr<ProgressWindow> inner_;
  const std::atomic<bool>& closing_;
};

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
  dialogs.erase(std::remove_if(dialogs.begin(), dialogs.end(),
                               [this](const QPointer<QDialog>& d) { return d.isNull() || d == dialog_; }),
                dialogs.end());
}

QtFrontEnd::QtFrontEnd(QWidget* dialog_parent, QObject* parent)
    : QObject(parent), dialog_parent_(dialog_parent) {}

QtFrontEnd::~QtFrontEnd() { Shutdown(); }

bool QtFrontEnd::OnInterfaceThread() const { return QThread::currentThread() == thread(); }

void QtFrontEnd::Shutdown() {
  {
    std::lock_guard lock(mutex_);
    shutdown_.store(true, std::memory_order_release);
    queue_.clear();
  }
  answered_.notify_all();
  if (!OnInterfaceThread()) return;
  target_ = nullptr;
  // Ends the local loops of the dialogs showing; their callers then return Cancel.
  std::vector<QPointer<QDialog>> dialogs = open_dialogs_;
  if (dialog_parent_) {
    for (QDialog* dialog : dialog_parent_->findChildren<QDialog*>()) dialogs.emplace_back(dialog);
  }
  for (const QPointer<QDialog>& dialog : dialogs) {
    if (dialog && dialog->isVisible()) dialog->reject();
  }
}

void QtFrontEnd::ScheduleFlushLocked() {
  if (flush_scheduled_) return;
  flush_scheduled_ = true;
  QMetaObject::invokeMethod(this, [this] { Flush(true); }, Qt::QueuedConnection);
}

void QtFrontEnd::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    if (ShuttingDown()) return;
    queue_.push_back(std::move(task));
    open_output_.reset();
    if (!OnInterfaceThread()) {
      ScheduleFlushLocked();
      return;
    }
  }
  Flush();
}

void QtFrontEnd::Flush(bool from_event_loop) {
  {
    std::lock_guard lock(mutex_);
    // Calls queued from here on need a flush of their own: a task may open a
    // dialog whose loop runs them while this one waits.
    flush_scheduled_ = false;
  }
  QElapsedTimer clock;
  clock.start();
  // Only what was queued when the flush began: calls that keep coming while
  // it runs wait for the next one.
  std::size_t count = 0;
  {
    std::lock_guard lock(mutex_);
    count = queue_.size();
  }
  for (; count > 0; --count) {
    if (from_event_loop && clock.elapsed() >= kFlushBudgetMs) break;
    std::function<void()> task;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task();
  }
  // The window paints and answers before the rest.
  std::lock_guard lock(mutex_);
  if (!queue_.empty()) ScheduleFlushLocked();
}

template <typename Result>
Result QtFrontEnd::Ask(std::function<Result()> question, Result on_cancel) {
  if (OnInterfaceThread()) {
    Flush();
    return ShuttingDown() ? on_cancel : question();
  }
  struct Answer {
    bool done = false;
    Result value{};
  };
  auto answer = std::make_shared<Answer>();
  std::unique_lock lock(mutex_);
  if (ShuttingDown()) return on_cancel;
  open_output_.reset();
  queue_.push_back([this, answer, question = std::move(question), on_cancel] {
    Result value = ShuttingDown() ? on_cancel : question();
    {
      std::lock_guard inner(mutex_);
      answer->value = std::move(value);
      answer->done = true;
    }
    answered_.notify_all();
  });
  ScheduleFlushLocked();
  answered_.wait(lock, [&] { return answer->done || ShuttingDown(); });
  return answer->done ? answer->value : on_cancel;
}

FrontEnd::MessageButton QtFrontEnd::ShowMessageBox(MessageKind kind, const std::string& caption,
                                                   const std::string& text) {
  return Ask<MessageButton>([=, this] { return RunMessageBox(kind, caption, text); },
                            MessageButton::kCancel);
}

FrontEnd::MessageButton QtFrontEnd::RunMessageBox(MessageKind kind, const std::string& caption,
                                                  const std::string& text) {
  QMessageBox box(IconOf(kind), QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok, dialog_parent_);
  box.setTextFormat(Qt::PlainText);
  box.setWindowModality(Qt::ApplicationModal);
  int result = QMessageBox::Cancel;
  {
    ModalScope scope(*this, &box);
    result = box.exec();
  }
  return result == QMessageBox::Ok && !ShuttingDown() ? MessageButton::kOk
                                                      : MessageButton::kCancel;
}

void QtFrontEnd::AppendOutput(const std::string& text) {
  if (OnInterfaceThread()) {
    Post([this, text] {
      if (target_) target_->AppendOutput(text);
    });
    return;
  }
  std::lock_guard lock(mutex_);
  if (ShuttingDown()) return;
  // Output that follows output joins it while it waits: a worker writing
  // thousands of lines costs the pane a few inserts, not one each.
  if (open_output_ && open_output_->size() < kOutputChunkBytes) {
    *open_output_ += text;
    return;
  }
  auto buffer = std::make_shared<std::string>(text);
  queue_.push_back([this, buffer] {
    std::string joined;
    {
      std::lock_guard inner(mutex_);
      joined = std::move(*buffer);
      if (open_output_ == buffer) open_output_.reset();
    }
    if (target_) target_->AppendOutput(joined);
  });
  open_output_ = buffer;
  ScheduleFlushLocked();
}

void QtFrontEnd::ClearOutput() {
  Post([this] {
    if (target_) target_->ClearOutput();
  });
}

int QtFrontEnd::CommitSequence() {
  return Ask<int>([this] { return target_ ? target_->CommitSequence() : -1; }, -1);
}

void QtFrontEnd::RefreshFromDocument() {
  Post([this] {
    if (target_) target_->RefreshFromDocument();
  });
}

void QtFrontEnd::RefreshSettings() {
  Post([this] {
    if (target_) target_->RefreshSettings();
  });
}

void QtFrontEnd::WriteOffsetField(const std::string& text) {
  Post([this, text] {
    if (target_) target_->WriteOffsetField(text);
  });
}

std::optional<std::string> QtFrontEnd::ChooseProtocolFile(FileDialogKind kind,
                                                          const std::string& initial_path) {
  return Ask<std::optional<std::string>>([=, this] { return RunFileDialog(kind, initial_path); },
                                         std::nullopt);
}

std::optional<std::string> QtFrontEnd::RunFileDialog(FileDialogKind kind,
                                                     const std::string& initial_path) {
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

std::unique_ptr<ProgressWindow> QtFrontEnd::CreateProgressWindow(const std::string& text) {
  // The window's progress window, if it has one; either way the transfer
  // ends at its next step once the window is closing.
  std::unique_ptr<ProgressWindow> inner = progress_factory_ ? progress_factory_(text) : nullptr;
  return std::make_unique<ClosingAwareProgress>(std::move(inner), shutdown_);
}

}  // namespace stravon::app
