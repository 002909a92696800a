// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include <QPointer>

#include "protocol/front_end.h"
#include "ui/settings_store.h"

class QWidget;

namespace stravon::views {

class ProgressWindowWidget;

// The core's progress window for a transfer run by the device worker. The
// worker creates, drives and deletes it; every call becomes a queued call
// carried out in order on the interface thread, where the widget lives, so
// the worker never touches a widget. Cancel is an atomic the widget sets and
// the worker reads.
//
// `owner` (the stage view) and `settings` belong to the interface thread and
// must outlive the worker's transfers; a session ends its worker before its
// window goes. Calls queued for an owner already destroyed are dropped.
class QueuedProgressWindow : public ProgressWindow {
 public:
  QueuedProgressWindow(QWidget* owner, SettingsStore& settings, const std::string& text);
  // Closes the widget (which keeps its position for the next transfer).
  ~QueuedProgressWindow() override;
  QueuedProgressWindow(const QueuedProgressWindow&) = delete;
  QueuedProgressWindow& operator=(const QueuedProgressWindow&) = delete;

  void SetBounds(int lower, int upper) override;
  void SetStepSize(int step) override;
  void Advance() override;
  // The interface thread runs its own event loop: nothing to pump here.
  void PumpPendingMessages() override {}
  bool IsCancelled() const override { return cancelled_->load(std::memory_order_acquire); }

 private:
  // What the interface thread knows of this transfer's widget.
  struct Window {
    QPointer<ProgressWindowWidget> widget;
  };

  void Post(std::function<void(ProgressWindowWidget&)> call);

  QWidget* owner_;
  std::shared_ptr<std::atomic<bool>> cancelled_;
  std::shared_ptr<Window> window_;
};

}  // namespace stravon::views
