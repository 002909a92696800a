// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace stravon::cli {

// Ctrl-C (SIGINT), SIGTERM and SIGHUP only set a flag: the command in progress
// notices it, cancels as the Cancel button would, stops any motion, and ends
// with its own message. The handlers stay installed: a repeated signal ends a
// command at once, except while a MotionGuard exists, when the command first
// stops the motion (a closing terminal sends SIGHUP more than once).
void InstallInterruptHandler();
bool Interrupted();
// The signal that interrupted first; 0 while none came.
int InterruptSignal();

// While one exists the actuator may be moving: SIGQUIT and SIGTSTP interrupt
// as SIGINT does instead of ending or stopping the program with the motion
// running, and no repeated signal ends it before the motion is stopped. On
// its end the default actions come back.
class MotionGuard {
 public:
  MotionGuard();
  ~MotionGuard();
  MotionGuard(const MotionGuard&) = delete;
  MotionGuard& operator=(const MotionGuard&) = delete;
};

// While one exists the unit's memory is being written: SIGQUIT interrupts as
// SIGINT does, so that the command still says what the unit holds instead of
// leaving it half-written without a word. SIGTSTP keeps its default action: a
// stopped transfer goes on where it stopped.
class TransferGuard {
 public:
  TransferGuard();
  ~TransferGuard();
  TransferGuard(const TransferGuard&) = delete;
  TransferGuard& operator=(const TransferGuard&) = delete;
};

// Once the motion is stopped: when a SIGTSTP came, stops this program as its
// default action would and returns true after it was continued.
bool SuspendIfAsked();

}  // namespace stravon::cli
