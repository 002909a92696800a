// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "device/session_event.h"

namespace stravon {

// The events of one device session, in the order they happened. Any thread
// may push; one reader takes them. A reader with an event loop watches
// WakeFd(), which becomes readable when an event arrives in an empty queue
// (once per burst, so a transfer's progress does not wake it per byte); a
// reader without one waits with WaitPop.
class EventQueue {
 public:
  using Clock = std::chrono::steady_clock;

  EventQueue();
  ~EventQueue();
  EventQueue(const EventQueue&) = delete;
  EventQueue& operator=(const EventQueue&) = delete;

  void Push(SessionEvent event);
  std::optional<SessionEvent> TryPop();
  // Waits until an event is there or `deadline` has passed.
  std::optional<SessionEvent> WaitPop(Clock::time_point deadline);
  // Everything queued now.
  std::vector<SessionEvent> TakeAll();

  // An eventfd (-1 when none could be made: then only WaitPop wakes).
  int WakeFd() const { return wake_fd_; }
  // Resets WakeFd() before the reader empties the queue.
  void ClearWake();

 private:
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<SessionEvent> events_;  // under mutex_
  int wake_fd_ = -1;
};

}  // namespace stravon
