// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>

#include <QString>
#include <QWidget>

#include "ui/settings_store.h"

class QLabel;
class QPushButton;

namespace stravon::views {

class TimeToCompleteBar;

// Where the progress window's position is kept between transfers.
inline constexpr std::string_view kProgressXValue = "X";
inline constexpr std::string_view kProgressYValue = "Y";

// The small window of a long transfer: "Progress [n%]" in the caption, what
// is happening, a bar with the remaining time and " Cancel ". It lives on the
// interface thread and keeps the owner's window modal while shown, without an
// event loop of its own. Cancel (or Escape) only sets `cancelled`, which the
// device worker reads between steps, and hides the window.
class ProgressWindowWidget : public QWidget {
 public:
  ProgressWindowWidget(QWidget* owner, SettingsStore& settings,
                       std::shared_ptr<std::atomic<bool>> cancelled);
  // Keeps the position for the next transfer.
  ~ProgressWindowWidget() override;

  void SetMessageText(const QString& text);
  void SetBounds(int lower, int upper);
  void SetStepSize(int step) { step_ = step; }
  // Shows the window again if it is hidden; rewrites the caption only when
  // the whole percentage changes.
  void SetPosition(int position);
  void Advance();
  // Modal for the owner's window, then shown where it was last left, or
  // centred over the owner when that place is on no screen.
  void EnterModal();

  bool IsCancelled() const { return cancelled_->load(std::memory_order_acquire); }
  void Cancel();

  QString MessageText() const;
  TimeToCompleteBar* Bar() const { return bar_; }
  QPushButton* CancelButton() const { return cancel_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // The window manager's close is a cancel request too.
  void closeEvent(QCloseEvent* event) override;

 private:
  void LayOut();
  void Place();
  void ShowIfHidden();
  void StorePosition();

  SettingsStore& settings_;
  std::shared_ptr<std::atomic<bool>> cancelled_;
  int lower_ = 0;
  int upper_ = 100;
  int position_ = 0;
  int step_ = 1;
  int percent_shown_ = 0;
  bool placed_ = false;

  QLabel* text_;
  TimeToCompleteBar* bar_;
  QPushButton* cancel_;
};

}  // namespace stravon::views
