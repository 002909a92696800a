// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/event_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

#include "protocol/retry_on_eintr.h"

namespace stravon {

EventQueue::EventQueue() : wake_fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

EventQueue::~EventQueue() {
  if (wake_fd_ >= 0) close(wake_fd_);
}

void EventQueue::Push(SessionEvent event) {
  bool was_empty = false;
  {
    std::lock_guard lock(mutex_);
    was_empty = events_.empty();
    events_.push_back(std::move(event));
  }
  arrived_.notify_all();
  if (was_empty && wake_fd_ >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written =
        RetryOnEintr([&] { return write(wake_fd_, &one, sizeof one); });
  }
}

std::optional<SessionEvent> EventQueue::TryPop() {
  std::lock_guard lock(mutex_);
  if (events_.empty()) return std::nullopt;
  SessionEvent event = std::move(events_.front());
  events_.pop_front();
  return event;
}

std::optional<SessionEvent> EventQueue::WaitPop(Clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  if (!arrived_.wait_until(lock, deadline, [this] { return !events_.empty(); })) {
    return std::nullopt;
  }
  SessionEvent event = std::move(events_.front());
  events_.pop_front();
  return event;
}

std::vector<SessionEvent> EventQueue::TakeAll() {
  std::lock_guard lock(mutex_);
  std::vector<SessionEvent> taken(std::make_move_iterator(events_.begin()),
                                  std::make_move_iterator(events_.end()));
  events_.clear();
  return taken;
}

void EventQueue::ClearWake() {
  if (wake_fd_ < 0) return;
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t read_bytes =
      RetryOnEintr([&] { return read(wake_fd_, &count, sizeof count); });
}

}  // namespace stravon
