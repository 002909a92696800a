// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <csignal>
#include <optional>

namespace stravon::app {

// The signals that end the program from outside: logout and shutdown
// (SIGTERM), a closed terminal (SIGHUP), Ctrl-C (SIGINT) and Ctrl-\ (SIGQUIT).
inline constexpr std::array<int, 4> kEndingSignals = {SIGTERM, SIGHUP, SIGINT, SIGQUIT};

// Turns the ending signals into bytes on a pipe, so that the event loop can
// carry the ending out on the interface thread: a handler may call almost
// nothing, and no Qt code. The handler only writes the signal's number; a
// second signal, arriving while the first one's ending is still under way,
// ends the process at once with 128 + its number, for an ending that hangs.
// One at a time per process; the previous handlers come back when it goes.
class SignalWatch {
 public:
  SignalWatch();
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  // False when the pipe or a handler could not be set up (errno says why);
  // the signals then keep their previous actions.
  bool Ok() const { return ok_; }
  // Readable once a signal has come.
  int ReadFd() const { return read_fd_; }
  // The next signal received, or nothing when none is waiting (never blocks).
  std::optional<int> Take();

 private:
  bool ok_ = false;
  int read_fd_ = -1;
  std::array<struct sigaction, kEndingSignals.size()> previous_{};
};

}  // namespace stravon::app
