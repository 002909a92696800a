// SPDX-License-Identifier: GPL-3.0-or-later
#include "views/queued_progress_window.h"

#include <utility>

#include <QMetaObject>
#include <QString>
#include <QWidget>

#include "views/progress_window.h"

namespace stravon::views {

QueuedProgressWindow::QueuedProgressWindow(QWidget* owner, SettingsStore& settings,
                                           const std::string& text)
    : owner_(owner),
      cancelled_(std::make_shared<std::atomic<bool>>(false)),
      window_(std::make_shared<Window>()) {
  QMetaObject::invokeMethod(
      owner_,
      [owner, &settings, window = window_, cancelled = cancelled_,
       message = QString::fromStdString(text)] {
        auto* widget = new ProgressWindowWidget(owner, settings, cancelled);
        window->widget = widget;
        widget->SetMessageText(message);
        widget->EnterModal();
      },
      Qt::QueuedConnection);
}

QueuedProgressWindow::~QueuedProgressWindow() {
  QMetaObject::invokeMethod(
      owner_,
      [window = window_] {
        // Deleting it stores the position and ends the owner's modality.
        delete window->widget.data();
      },
      Qt::QueuedConnection);
}

void QueuedProgressWindow::Post(std::function<void(ProgressWindowWidget&)> call) {
  QMetaObject::invokeMethod(
      owner_,
      [window = window_, call = std::move(call)] {
        if (window->widget) call(*window->widget);
      },
      Qt::QueuedConnection);
}

void QueuedProgressWindow::SetBounds(int lower, int upper) {
  Post([lower, upper](ProgressWindowWidget& widget) { widget.SetBounds(lower, upper); });
}

void QueuedProgressWindow::SetStepSize(int step) {
  Post([step](ProgressWindowWidget& widget) { widget.SetStepSize(step); });
}

void QueuedProgressWindow::Advance() {
  Post([](ProgressWindowWidget& widget) { widget.Advance(); });
}

}  // namespace stravon::views
