// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <QPointer>
#include <QString>
#include <QWidget>

#include "protocol/front_end.h"
#include "ui/settings_store.h"

class QLabel;
class QPushButton;
class QTimer;

namespace stravon::views {

class TimeToCompleteBar;

// Where the progress window's position is kept between transfers.
inline constexpr std::string_view kProgressXValue = "X";
inline constexpr std::string_view kProgressYValue = "Y";

// The small window of a long transfer: "Progress [n%]" in the caption, what
// is happening, a bar with the remaining time and " Cancel ". It lives on the
// interface thread, without an event loop of its own. While it is open its
// owner is disabled, and nothing else: a modal window would also swallow the
// main window's close button and Exit, and the person must be able to quit a
// program that waits on a silent unit. Cancel (or Escape) hides the window,
// remembers the cancel and calls `cancel` at once: the transfer may be
// waiting for a unit that does not answer.
class ProgressWindowWidget : public QWidget {
 public:
  ProgressWindowWidget(QWidget* owner, SettingsStore& settings, std::function<void()> cancel = {});
  // Keeps the position for the next transfer.
  ~ProgressWindowWidget() override;

  void SetMessageText(const QString& text);
  void SetBounds(int lower, int upper);
  void SetStepSize(int step) { step_ = step; }
  // Shows the window again if it is hidden; rewrites the caption only when
  // the whole percentage changes.
  void SetPosition(int position);
  void Advance();
  // When the unit last sent a byte; the bar's text follows it once a second.
  void SetWaitingSince(std::chrono::steady_clock::time_point since);
  // Disables the owner until this window goes, then shows it where it was
  // last left, or centred over the owner when that place is on no screen.
  void Open();

  bool IsCancelled() const { return cancelled_; }
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
  std::function<void()> cancel_callback_;
  bool cancelled_ = false;
  int lower_ = 0;
  int upper_ = 100;
  int position_ = 0;
  int step_ = 1;
  int percent_shown_ = 0;
  bool placed_ = false;
  QPointer<QWidget> disabled_owner_;

  QLabel* text_;
  TimeToCompleteBar* bar_;
  QPushButton* cancel_;
  // A display clock: the wait and the estimate move on while no step comes.
  QTimer* clock_;
};

// The core's progress window of one transfer as a ProgressWindowWidget over
// `owner`, opened at once and closed when this goes (a window already
// destroyed with its owner is left alone).
class WidgetProgressWindow : public ProgressWindow {
 public:
  WidgetProgressWindow(QWidget* owner, SettingsStore& settings, const std::string& text,
                       std::function<void()> cancel);
  ~WidgetProgressWindow() override;
  WidgetProgressWindow(const WidgetProgressWindow&) = delete;
  WidgetProgressWindow& operator=(const WidgetProgressWindow&) = delete;

  void SetBounds(int lower, int upper) override;
  void SetStepSize(int step) override;
  void Advance() override;
  bool IsCancelled() const override;
  void SetWaitingSince(std::chrono::steady_clock::time_point since) override;

 private:
  QPointer<ProgressWindowWidget> widget_;
};

}  // namespace stravon::views
