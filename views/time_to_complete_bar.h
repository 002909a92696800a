// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

#include <QElapsedTimer>
#include <QWidget>

namespace stravon::views {

// The progress window's bar. It paints the remaining time over itself, in
// the highlight's text colour where the bar is filled and the window text
// colour beyond, so the words stay readable as the edge crosses them. The
// estimate counts from the bar's construction; while the unit has sent
// nothing for over a second the bar says how long it has been waiting.
class TimeToCompleteBar : public QWidget {
 public:
  explicit TimeToCompleteBar(QWidget* parent = nullptr);

  void SetRange(int lower, int upper);
  void SetPosition(int position);
  int Position() const { return position_; }
  void SetWaitingSince(std::chrono::steady_clock::time_point since);

  // What the bar shows as text now: the wait for the unit, or the estimate
  // (none up to 2 % done).
  QString Text() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double Fraction() const;

  int lower_ = 0;
  int upper_ = 100;
  int position_ = 0;
  QElapsedTimer start_;
  std::chrono::steady_clock::time_point waiting_since_ = std::chrono::steady_clock::now();
};

}  // namespace stravon::views
