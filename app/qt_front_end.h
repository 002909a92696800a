// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>

#include "protocol/front_end.h"

class QDialog;
class QWidget;

namespace stravon::app {

// The front end of one document window. Every call comes from the interface
// thread, except AppendOutput, which a message log written on another thread
// may call: that text is handed to the interface thread.
//
// Shutdown() is the way out for a closing window: dialogs showing are closed
// (their callers see Cancel), and nothing more is asked or shown.
class QtFrontEnd : public QObject, public FrontEnd {
  Q_OBJECT

 public:
  // The document window's output pane.
  class Target {
   public:
    virtual ~Target() = default;
    virtual void AppendOutput(const std::string& text) = 0;
    virtual void ClearOutput() = 0;
  };

  // Creates the real progress window of a transfer (nullptr for none).
  using ProgressFactory = std::function<std::unique_ptr<ProgressWindow>(
      const std::string& text, std::function<void()> cancel)>;

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
  std::optional<std::string> ChooseProtocolFile(FileDialogKind kind,
                                                const std::string& initial_path) override;
  std::unique_ptr<ProgressWindow> CreateProgressWindow(const std::string& text,
                                                       std::function<void()> cancel) override;

 private:
  bool OnInterfaceThread() const;

  QPointer<QWidget> dialog_parent_;
  Target* target_ = nullptr;
  ProgressFactory progress_factory_;
  // Atomic for AppendOutput from another thread.
  std::atomic<bool> shutdown_{false};
  int modal_depth_ = 0;
  std::vector<QPointer<QDialog>> open_dialogs_;
};

}  // namespace stravon::app
