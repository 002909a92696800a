// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QWidget>

namespace stravon::views {

// The progress window's bar. It paints the remaining time over itself, in
// the highlight's text colour where the bar is filled and the window text
// colour beyond, so the words stay readable as the edge crosses them. The
// estimate counts from the bar's construction.
class TimeToCompleteBar : public QWidget {
 public:
  explicit TimeToCompleteBar(QWidget* parent = nullptr);

  void SetRange(int lower, int upper);
  void SetPosition(int position);
  int Position() const { return position_; }

  // What the bar shows as text now; empty up to 2 % done.
  QString RemainingText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double Fraction() const;

  int lower_ = 0;
  int upper_ = 100;
  int position_ = 0;
  QElapsedTimer start_;
};

}  // namespace stravon::views
