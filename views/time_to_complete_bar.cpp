// SPDX-License-Identifier: GPL-3.0-or-later
#include "views/time_to_complete_bar.h"

#include <optional>
#include <string>

#include <QFont>
#include <QPainter>
#include <QPalette>

#include "ui/progress_text.h"

namespace stravon::views {
namespace {

constexpr int kTextPointSize = 9;

}  // namespace

TimeToCompleteBar::TimeToCompleteBar(QWidget* parent) : QWidget(parent) {
  start_.start();
  // Painting covers every pixel; no background fill first, so no flicker.
  setAttribute(Qt::WA_OpaquePaintEvent);
  QFont text_font = font();
  text_font.setPointSize(kTextPointSize);
  setFont(text_font);
}

void TimeToCompleteBar::SetRange(int lower, int upper) {
  lower_ = lower;
  upper_ = upper;
  update();
}

void TimeToCompleteBar::SetPosition(int position) {
  position_ = position;
  update();
}

double TimeToCompleteBar::Fraction() const {
  if (upper_ == lower_) return 0.0;
  // The position over the width of the range, not counted from the lower
  // bound: the transfers always start at 0.
  const double fraction = static_cast<double>(position_) / (upper_ - lower_);
  return fraction < 0.0 ? 0.0 : (fraction > 1.0 ? 1.0 : fraction);
}

void TimeToCompleteBar::SetWaitingSince(std::chrono::steady_clock::time_point since) {
  waiting_since_ = since;
  update();
}

QString TimeToCompleteBar::Text() const {
  const std::chrono::duration<double> silent = std::chrono::steady_clock::now() - waiting_since_;
  const std::optional<std::string> text =
      ProgressBarText(Fraction(), static_cast<double>(start_.elapsed()) / 1000.0, silent.count());
  return text ? QString::fromStdString(*text) : QString();
}

void TimeToCompleteBar::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QRect whole = rect();
  const QPalette& colours = palette();
  painter.fillRect(whole, colours.color(QPalette::Base));
  QRect filled = whole;
  filled.setWidth(static_cast<int>(whole.width() * Fraction()));
  painter.fillRect(filled, colours.color(QPalette::Highlight));

  const QString text = Text();
  if (!text.isEmpty()) {
    const int flags = Qt::AlignCenter | Qt::TextSingleLine;
    painter.setClipRect(filled);
    painter.setPen(colours.color(QPalette::HighlightedText));
    painter.drawText(whole, flags, text);
    painter.setClipRect(
        QRect(filled.right() + 1, whole.top(), whole.width() - filled.width(), whole.height()));
    painter.setPen(colours.color(QPalette::WindowText));
    painter.drawText(whole, flags, text);
    painter.setClipping(false);
  }
  painter.setPen(colours.color(QPalette::Mid));
  painter.drawRect(whole.adjusted(0, 0, -1, -1));
}

}  // namespace stravon::views
