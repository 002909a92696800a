// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/interrupt.h"

#include <atomic>
#include <csignal>

namespace stravon::cli {
namespace {

std::atomic<int> first_signal{0};
std::atomic<bool> motion{false};
std::atomic<bool> suspend_asked{false};
static_assert(std::atomic<int>::is_always_lock_free, "the flags are set in a signal handler");
static_assert(std::atomic<bool>::is_always_lock_free, "the flags are set in a signal handler");

void SetHandler(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

extern "C" void OnInterrupt(int signal) {
  if (signal == SIGTSTP) suspend_asked.store(true);
  int none = 0;
  if (first_signal.compare_exchange_strong(none, signal) || motion.load()) return;
  // A repeated signal with nothing moving: end at once, as the signal's own
  // action does (it is blocked until this handler returns).
  SetHandler(signal, SIG_DFL);
  raise(signal);
}

}  // namespace

void InstallInterruptHandler() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) SetHandler(signal, OnInterrupt);
}

bool Interrupted() { return first_signal.load() != 0; }

int InterruptSignal() { return first_signal.load(); }

MotionGuard::MotionGuard() {
  motion.store(true);
  for (int signal : {SIGQUIT, SIGTSTP}) SetHandler(signal, OnInterrupt);
}

MotionGuard::~MotionGuard() {
  for (int signal : {SIGQUIT, SIGTSTP}) SetHandler(signal, SIG_DFL);
  motion.store(false);
}

TransferGuard::TransferGuard() { SetHandler(SIGQUIT, OnInterrupt); }

TransferGuard::~TransferGuard() { SetHandler(SIGQUIT, SIG_DFL); }

bool SuspendIfAsked() {
  if (!suspend_asked.exchange(false)) return false;
  struct sigaction kept {};
  struct sigaction stop {};
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGTSTP, &stop, &kept);
  // The whole process stops here until SIGCONT.
  raise(SIGTSTP);
  sigaction(SIGTSTP, &kept, nullptr);
  return true;
}

}  // namespace stravon::cli
