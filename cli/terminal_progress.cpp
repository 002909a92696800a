// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "cli/interrupt.h"
#include "ui/progress_text.h"

namespace stravon::cli {
namespace {

constexpr int kBarWidth = 30;
// Redraws for the time estimate alone are spaced out; a new percentage is
// drawn at once.
constexpr std::chrono::milliseconds kRedrawInterval{250};
}  // namespace

TerminalProgress::TerminalProgress(std::string text, Console& console, bool draw)
    : text_(std::move(text)), console_(console), draw_(draw) {
  Draw(true);
}

TerminalProgress::~TerminalProgress() {
  // "\r" then erase to the end of the line.
  if (drawn_) console_.Note("\r\x1b[K");
}

void TerminalProgress::SetBounds(int lower, int upper) {
  lower_ = lower;
  upper_ = upper;
}

void TerminalProgress::SetStepSize(int step) { step_ = step; }

void TerminalProgress::Advance() {
  position_ += step_;
  Draw(false);
}

bool TerminalProgress::IsCancelled() const { return Interrupted(); }

std::string TerminalProgress::Line(Clock::time_point now) const {
  const int span = upper_ - lower_;
  const double fraction =
      span > 0 ? std::clamp(static_cast<double>(position_ - lower_) / span, 0.0, 1.0) : 0.0;
  const int percent = static_cast<int>(fraction * 100.0 + 0.5);
  const int filled = static_cast<int>(fraction * kBarWidth);
  std::string line = text_ + " [" + std::string(static_cast<std::size_t>(filled), '#') +
                     std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') + "] ";
  char number[16];
  std::snprintf(number, sizeof number, "%3d%%", percent);
  line += number;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  if (const auto estimate = RemainingTimeEstimate(fraction, elapsed)) line += "  " + *estimate;
  return line;
}

void TerminalProgress::Draw(bool force) {
  if (!draw_) return;
  const Clock::time_point now = Clock::now();
  const int span = upper_ - lower_;
  const int percent = span > 0 ? (position_ - lower_) * 100 / span : 0;
  if (!force && percent == percent_shown_ && now - last_draw_ < kRedrawInterval) return;
  percent_shown_ = percent;
  last_draw_ = now;
  console_.Note("\r" + Line(now) + "\x1b[K");
  drawn_ = true;
}

}  // namespace stravon::cli
