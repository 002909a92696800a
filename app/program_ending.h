// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QObject>

class QSocketNotifier;

namespace stravon {
class RecoveryStore;
}

namespace stravon::app {

class MainWindow;
class SignalWatch;

// Ends the program where no one can be asked anything: on an ending signal
// or when the desktop session ends. The motion stops, a transfer is cut
// short and the workers end first; then each document with unsaved edits is
// kept in the recovery store, to be offered at the next start. `exit` is
// called last, with 128 + the signal's number or, for the session, 0.
class ProgramEnding : public QObject {
  Q_OBJECT

 public:
  // `store` may be null: there is nowhere to keep edits.
  ProgramEnding(MainWindow& window, RecoveryStore* store, SignalWatch& watch,
                std::function<void(int status)> exit, QObject* parent = nullptr);

  // Whether the program is ending this way (then a clean exit it is not).
  bool Ended() const { return ended_; }
  void End(int status);

 private:
  void SignalArrived();

  MainWindow& window_;
  RecoveryStore* store_;
  SignalWatch& watch_;
  std::function<void(int)> exit_;
  QSocketNotifier* notifier_ = nullptr;
  bool ended_ = false;
};

}  // namespace stravon::app
