// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QObject>
#include <QPointer>

class QTimer;
class QWidget;

namespace stravon::app {

// Keeps a jog running only while the operator visibly holds its button. Once
// engaged it lets go (calls `release`) on the first sign that the button is
// no longer held: a mouse release anywhere, inside the program's windows or
// outside them (the button grabs the mouse), Escape, the pointer leaving the
// button, or the main window losing activation. While engaged it confirms
// the hold every kJogConfirmInterval (`confirm`), so that the worker can stop
// the actuator by itself when the interface thread stops answering.
class JogGuard : public QObject {
  Q_OBJECT

 public:
  JogGuard(QWidget* window, std::function<void()> release, std::function<void()> confirm,
           QObject* parent = nullptr);
  ~JogGuard() override;
  JogGuard(const JogGuard&) = delete;
  JogGuard& operator=(const JogGuard&) = delete;

  // A jog started from `button`.
  void Engage(QWidget* button);
  // Stops watching without calling `release` (the caller already did).
  void Disengage();
  bool Engaged() const { return button_ != nullptr; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Release();

  QPointer<QWidget> window_;
  std::function<void()> release_;
  std::function<void()> confirm_;
  QPointer<QWidget> button_;
  QTimer* confirm_timer_;
};

}  // namespace stravon::app
