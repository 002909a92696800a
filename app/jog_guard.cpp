// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/jog_guard.h"

#include <utility>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include "device/session_request.h"

namespace stravon::app {

JogGuard::JogGuard(QWidget* window, std::function<void()> release, std::function<void()> confirm,
                   QObject* parent)
    : QObject(parent),
      window_(window),
      release_(std::move(release)),
      confirm_(std::move(confirm)),
      confirm_timer_(new QTimer(this)) {
  confirm_timer_->setInterval(kJogConfirmInterval);
  connect(confirm_timer_, &QTimer::timeout, this, [this] {
    if (Engaged() && confirm_) confirm_();
  });
}

JogGuard::~JogGuard() { Disengage(); }

void JogGuard::Engage(QWidget* button) {
  if (Engaged()) Disengage();
  button_ = button;
  // Every event of the program passes here first; a release over another
  // window, or a key, never reaches the button.
  qApp->installEventFilter(this);
  // Released outside the program's windows, the release still comes to us.
  if (button != nullptr) button->grabMouse();
  confirm_timer_->start();
  if (confirm_) confirm_();
}

void JogGuard::Disengage() {
  confirm_timer_->stop();
  if (qApp != nullptr) qApp->removeEventFilter(this);
  if (button_ && QWidget::mouseGrabber() == button_) button_->releaseMouse();
  button_ = nullptr;
}

void JogGuard::Release() {
  if (!Engaged()) return;
  // Let go by anything but its own release (a dialog, Escape, leaving), the
  // button would still be drawn pressed; the jog has stopped.
  if (auto* button = qobject_cast<QAbstractButton*>(button_.data()); button && button->isDown()) {
    button->setDown(false);
  }
  Disengage();
  if (release_) release_();
}

bool JogGuard::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonRelease:
      if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) Release();
      break;
    case QEvent::MouseMove: {
      // With the mouse grabbed the button gets no Leave; the position tells.
      if (watched == button_) {
        const auto* move = static_cast<QMouseEvent*>(event);
        if (!button_->rect().contains(move->position().toPoint())) Release();
      }
      break;
    }
    case QEvent::Leave:
      if (watched == button_) Release();
      break;
    case QEvent::KeyPress:
      if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) Release();
      break;
    case QEvent::WindowDeactivate:
    case QEvent::FocusOut:
      if (watched == window_) Release();
      break;
    case QEvent::ApplicationDeactivate:
      Release();
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace stravon::app
