// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string>

#include "cli/console.h"
#include "protocol/front_end.h"

namespace stravon::cli {

// The progress window of a transfer, drawn as one line on standard error when
// it is a terminal: the text, a bar, the percentage and the estimated time
// left. Cancelled once an interrupt signal arrived. Created, driven and
// destroyed on the command's thread, as the document's events arrive.
class TerminalProgress : public ProgressWindow {
 public:
  TerminalProgress(std::string text, Console& console, bool draw);
  // Clears the line, so that what follows starts on a clean one.
  ~TerminalProgress() override;

  void SetBounds(int lower, int upper) override;
  void SetStepSize(int step) override;
  void Advance() override;
  bool IsCancelled() const override;

  int Position() const { return position_; }
  // The line as it would be drawn now, without the leading carriage return.
  std::string Line(std::chrono::steady_clock::time_point now) const;

 private:
  using Clock = std::chrono::steady_clock;
  void Draw(bool force);

  std::string text_;
  Console& console_;
  bool draw_;
  // The estimate counts from here, as the window's does from its creation.
  Clock::time_point start_ = Clock::now();
  Clock::time_point last_draw_{};
  int lower_ = 0;
  int upper_ = 100;
  int step_ = 1;
  int position_ = 0;
  int percent_shown_ = -1;
  bool drawn_ = false;
};

}  // namespace stravon::cli
