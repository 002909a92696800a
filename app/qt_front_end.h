// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>

#include "protocol/front_end.h"

class QDialog;
class QWidget;

namespace stravon::app {

// The front end of one document window. The device worker (and any thread
// that writes to the message log) calls it on its own thread; every call is
// carried out on the interface thread, in the order the calls were made.
// Output and refreshes are queued without waiting. Calls that answer block
// their caller until the person has answered, or run at once when they come
// from the interface thread itself.
//
// Shutdown() is the way out for a closing window: questions still waiting
// are answered as Cancel, dialogs showing are closed, and nothing more is
// asked or shown, so that the worker can be joined without waiting on the
// interface thread.
class QtFrontEnd : public QObject, public FrontEnd {
  Q_OBJECT

 public:
  // The document window's side; called on the interface thread only.
  class Target {
   public:
    virtual ~Target() = default;
    virtual void AppendOutput(const std::string& text) = 0;
    virtual void ClearOutput() = 0;
    virtual int CommitSequence() = 0;
    virtual void RefreshFromDocument() = 0;
    virtual void RefreshSettings() = 0;
    virtual void WriteOffsetField(const std::string& text) = 0;
  };

  // Creates the real progress window for a transfer (nullptr for none).
  // Called on the worker thread.
  using ProgressFactory = std::function<std::unique_ptr<ProgressWindow>(const std::string& text)>;

  // Counts a modal loop of the window while it runs (see ModalDepth).
  class ModalScope {
   public:
    ModalScope(QtFrontEnd& front_end, QDialog* dialog);
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

   private:
    QtFrontEnd& front_end_;
    QPointer<QDialog> dialog_;
  };

  explicit QtFrontEnd(QWidget* dialog_parent, QObject* parent = nullptr);
  ~QtFrontEnd() override;
  QtFrontEnd(const QtFrontEnd&) = delete;
  QtFrontEnd& operator=(const QtFrontEnd&) = delete;

  void SetTarget(Target* target) { target_ = target; }
  void SetProgressFactory(ProgressFactory factory) { progress_factory_ = std::move(factory); }

  void Shutdown();
  bool ShuttingDown() const { return shutdown_.load(std::memory_order_acquire); }
  // Modal loops of this window running now, nested in one another. While it
  // is not 0 the window's objects are on the stack and must stay.
  int ModalDepth() const { return modal_depth_; }

  MessageButton ShowMessageBox(MessageKind kind, const std::string& caption,
                               const std::string& text) override;
  void AppendOutput(const std::string& text) override;
  void ClearOutput() override;
  int CommitSequence() override;
  void RefreshFromDocument() override;
  void RefreshSettings() override;
  void WriteOffsetField(const std::string& text) override;
  std::optional<std::string> ChooseProtocolFile(FileDialogKind kind,
                                                const std::string& initial_path) override;
  std::unique_ptr<ProgressWindow> CreateProgressWindow(const std::string& text) override;

 private:
  bool OnInterfaceThread() const;
  // Queues `task` for the interface thread; from that thread, also runs
  // everything queued so far, so the order stays the order of the calls.
  void Post(std::function<void()> task);
  void ScheduleFlushLocked();
  // Runs what is queued. `from_event_loop`: a scheduled flush, which yields
  // back to the event loop after a few milliseconds when more is waiting;
  // otherwise everything queued so far runs, to keep the order of the calls.
  void Flush(bool from_event_loop = false);
  template <typename Result>
  Result Ask(std::function<Result()> question, Result on_cancel);

  MessageButton RunMessageBox(MessageKind kind, const std::string& caption,
                              const std::string& text);
  std::optional<std::string> RunFileDialog(FileDialogKind kind, const std::string& initial_path);

  QPointer<QWidget> dialog_parent_;
  Target* target_ = nullptr;
  ProgressFactory progress_factory_;

  std::atomic<bool> shutdown_{false};
  std::mutex mutex_;
  std::condition_variable answered_;
  std::deque<std::function<void()>> queue_;  // under mutex_
  // The text of the output call at the back of the queue, while later
  // output may still join it (under mutex_; null once another call queued).
  std::shared_ptr<std::string> open_output_;
  bool flush_scheduled_ = false;             // under mutex_

  // Interface thread only.
  int modal_depth_ = 0;
  std::vector<QPointer<QDialog>> open_dialogs_;
};

}  // namespace stravon::app
