// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/signal_watch.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

namespace stravon::app {
namespace {

// What the handler may touch: lock-free atomics only.
std::atomic<int> write_fd{-1};
std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnEndingSignal(int signal) {
  if (received.fetch_add(1) > 0) _exit(128 + signal);
  const int saved_errno = errno;
  const auto byte = static_cast<unsigned char>(signal);
  // A full pipe holds enough signals already; nothing is lost by dropping this one.
  [[maybe_unused]] const ssize_t written = ::write(write_fd.load(), &byte, 1);
  errno = saved_errno;
}

}  // namespace

SignalWatch::SignalWatch() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  read_fd_ = fds[0];
  write_fd.store(fds[1]);
  received.store(0);
  struct sigaction action {};
  action.sa_handler = OnEndingSignal;
  sigemptyset(&action.sa_mask);
  // Interrupted calls elsewhere in the program resume instead of failing.
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
    if (::sigaction(kEndingSignals[i], &action, &previous_[i]) != 0) {
      const int error = errno;
      for (std::size_t j = 0; j < i; ++j) ::sigaction(kEndingSignals[j], &previous_[j], nullptr);
      errno = error;
      return;
    }
  }
  ok_ = true;
}

SignalWatch::~SignalWatch() {
  if (ok_) {
    for (std::size_t i = 0; i < kEndingSignals.size(); ++i) {
      ::sigaction(kEndingSignals[i], &previous_[i], nullptr);
    }
  }
  if (read_fd_ >= 0) {
    ::close(read_fd_);
    ::close(write_fd.exchange(-1));
  }
}

std::optional<int> SignalWatch::Take() {
  unsigned char byte = 0;
  if (read_fd_ < 0 || ::read(read_fd_, &byte, 1) != 1) return std::nullopt;
  return byte;
}

}  // namespace stravon::app
