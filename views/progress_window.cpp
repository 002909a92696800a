// SPDX-License-Identifier: GPL-3.0-or-later
#include "views/progress_window.h"

#include <utility>

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "views/time_to_complete_bar.h"

namespace stravon::views {
namespace {

const QString kTitle = QStringLiteral("Progress");
constexpr int kTextLines = 4;
constexpr int kTextWidth = 390;
constexpr int kMargin = 10;
// Space between the bar's edges and the button's, as a bevel is wide.
constexpr int kEdge = 2;
constexpr int kClockMs = 1000;

}  // namespace

ProgressWindowWidget::ProgressWindowWidget(QWidget* owner, SettingsStore& settings,
                                           std::function<void()> cancel)
    : QWidget(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      settings_(settings),
      cancel_callback_(std::move(cancel)),
      text_(new QLabel(this)),
      bar_(new TimeToCompleteBar(this)),
      cancel_(new QPushButton(QStringLiteral(" Cancel "), this)),
      clock_(new QTimer(this)) {
  setObjectName(QStringLiteral("progressWindow"));
  setWindowTitle(kTitle);
  setCursor(Qt::BusyCursor);
  text_->setObjectName(QStringLiteral("progressText"));
  text_->setTextFormat(Qt::PlainText);
  text_->setWordWrap(false);
  text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  cancel_->setObjectName(QStringLiteral("progressCancel"));
  cancel_->setCursor(Qt::ArrowCursor);
  connect(cancel_, &QPushButton::clicked, this, [this] { Cancel(); });
  clock_->setInterval(kClockMs);
  connect(clock_, &QTimer::timeout, bar_, qOverload<>(&QWidget::update));
  LayOut();
}

ProgressWindowWidget::~ProgressWindowWidget() {
  if (placed_) StorePosition();
  if (disabled_owner_) disabled_owner_->setEnabled(true);
}

void ProgressWindowWidget::LayOut() {
  const QFontMetrics metrics(text_->font());
  const QRect text(kMargin, kMargin, kTextWidth, kTextLines * metrics.lineSpacing());
  const QSize button = cancel_->sizeHint();
  const QRect button_rect(text.right() + 1 - button.width(), text.bottom() + 1 + kMargin,
                          button.width(), button.height());
  const QRect bar_rect(QPoint(text.left(), button_rect.top() + kEdge),
                       QPoint(button_rect.left() - kMargin - 1, button_rect.bottom() - kEdge));
  text_->setGeometry(text);
  cancel_->setGeometry(button_rect);
  bar_->setGeometry(bar_rect);
  setFixedSize(text.width() + 2 * kMargin, text.height() + button.height() + 3 * kMargin);
}

void ProgressWindowWidget::SetMessageText(const QString& text) { text_->setText(text); }

QString ProgressWindowWidget::MessageText() const { return text_->text(); }

void ProgressWindowWidget::SetBounds(int lower, int upper) {
  lower_ = lower;
  upper_ = upper;
  bar_->SetRange(lower, upper);
}

void ProgressWindowWidget::SetPosition(int position) {
  // A step the worker made before it saw the cancel must not bring the
  // hidden window back.
  if (!IsCancelled()) ShowIfHidden();
  position_ = position;
  int percent = 0;
  if (upper_ > lower_) {
    percent =
        static_cast<int>(static_cast<double>(position - lower_) * 100.0 / (upper_ - lower_) + 0.5);
  }
  if (percent != percent_shown_) {
    percent_shown_ = percent;
    setWindowTitle(QStringLiteral("%1 [%2%]").arg(kTitle).arg(percent));
  }
  bar_->SetPosition(position);
}

void ProgressWindowWidget::Advance() { SetPosition(position_ + step_); }

void ProgressWindowWidget::SetWaitingSince(std::chrono::steady_clock::time_point since) {
  bar_->SetWaitingSince(since);
}

void ProgressWindowWidget::Open() {
  QWidget* owner = parentWidget();
  if (owner != nullptr && owner->isEnabled()) {
    owner->setEnabled(false);
    disabled_owner_ = owner;
    // Disabling the owner disabled its child windows, this one too.
    setEnabled(true);
  }
  ShowIfHidden();
}

void ProgressWindowWidget::ShowIfHidden() {
  if (isVisible()) return;
  if (!placed_) Place();
  show();
  clock_->start();
}

void ProgressWindowWidget::Place() {
  placed_ = true;
  const int x = settings_.ReadInteger(kSettingsSection, kProgressXValue, -1);
  const int y = settings_.ReadInteger(kSettingsSection, kProgressYValue, -1);
  if (x >= 0 && y >= 0 && QGuiApplication::screenAt(QPoint(x, y)) != nullptr) {
    move(x, y);
    return;
  }
  const QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
  const QRect over = owner != nullptr ? owner->frameGeometry()
                                      : QGuiApplication::primaryScreen()->availableGeometry();
  move(over.center() - QPoint(width() / 2, height() / 2));
}

void ProgressWindowWidget::StorePosition() {
  settings_.WriteInteger(kSettingsSection, kProgressXValue, pos().x());
  settings_.WriteInteger(kSettingsSection, kProgressYValue, pos().y());
}

void ProgressWindowWidget::Cancel() {
  if (placed_) StorePosition();
  const bool first = !cancelled_;
  cancelled_ = true;
  clock_->stop();
  hide();
  if (QWidget* owner = parentWidget()) owner->window()->activateWindow();
  if (first && cancel_callback_) cancel_callback_();
}

void ProgressWindowWidget::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    Cancel();
    return;
  }
  QWidget::keyPressEvent(event);
}

void ProgressWindowWidget::closeEvent(QCloseEvent* event) {
  event->ignore();
  Cancel();
}

WidgetProgressWindow::WidgetProgressWindow(QWidget* owner, SettingsStore& settings,
                                           const std::string& text, std::function<void()> cancel)
    : widget_(new ProgressWindowWidget(owner, settings, std::move(cancel))) {
  widget_->SetMessageText(QString::fromStdString(text));
  widget_->Open();
}

WidgetProgressWindow::~WidgetProgressWindow() {
  // Deleting it stores the position and enables the owner again.
  delete widget_.data();
}

void WidgetProgressWindow::SetBounds(int lower, int upper) {
  if (widget_) widget_->SetBounds(lower, upper);
}

void WidgetProgressWindow::SetStepSize(int step) {
  if (widget_) widget_->SetStepSize(step);
}

void WidgetProgressWindow::Advance() {
  if (widget_) widget_->Advance();
}

bool WidgetProgressWindow::IsCancelled() const { return widget_ && widget_->IsCancelled(); }

void WidgetProgressWindow::SetWaitingSince(std::chrono::steady_clock::time_point since) {
  if (widget_) widget_->SetWaitingSince(since);
}

}  // namespace stravon::views
