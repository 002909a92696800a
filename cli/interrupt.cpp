// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/interrupt.h"

#include <atomic>
#include <csignal>

namespace stravon::cli {
namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set in a signal handler");

extern "C" void OnInterrupt(int /*signal*/) { interrupted.store(true); }

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // The handler is reset after the first signal, so that a second one ends a
  // program that is stuck waiting for a silent unit.
  action.sa_flags = SA_RESETHAND;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool Interrupted() { return interrupted.load(); }

}  // namespace stravon::cli
