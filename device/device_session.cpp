// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_session.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <type_traits>
#include <utility>

#include "device/device_worker.h"
#include "protocol/message_log.h"

namespace stravon {
namespace {

template <typename T>
bool Holds(const Request& request) {
  return std::holds_alternative<T>(request);
}

bool IsOneShotRequest(const Request& request) {
  return Holds<ReadRequest>(request) || Holds<ProgramRequest>(request) ||
         Holds<ProgramSettingsRequest>(request) || Holds<MoveRequest>(request);
}

}  // namespace

DeviceSession::DeviceSession(DeviceSessionOptions options) : options_(std::move(options)) {
  // Without it (no descriptors left) a cancel still ends a wait, a little later.
  cancel_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  // Only the first session becomes the log's sink; Register refuses later ones.
  ClaimLogSink();
}

DeviceSession::~DeviceSession() {
  StopWorker();
  ReleaseLogSink();
  if (cancel_fd_ >= 0) close(cancel_fd_);
}

void DeviceSession::ReleaseLogSink() {
  if (log_token_ == 0) return;
  MessageLog::Obtain().Unregister(log_token_);
  log_token_ = 0;
}

bool DeviceSession::ClaimLogSink() {
  if (log_token_ == 0) {
    log_token_ = MessageLog::Obtain().Register(
        [this](const std::string& text) { events_.Push(OutputEvent{text}); });
  }
  return log_token_ != 0;
}

void DeviceSession::StartWorker() {
  if (worker_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    pending_.reset();
    running_ = 0;
    jog_ = JogState::kNone;
  }
  ending_.store(false, std::memory_order_release);
  stop_motion_at_end_.store(false, std::memory_order_release);
  worker_ = std::thread([this] {
    DeviceWorker worker(*this);
    worker.Run();
  });
}

void DeviceSession::StopWorker() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    ending_.store(true, std::memory_order_release);
    ++changes_;
  }
  wake_.notify_all();
  // The end must not wait for a silent unit's time-out.
  WakeWaits();
  worker_.join();
}

void DeviceSession::StopWorkerAndMotion() {
  stop_motion_at_end_.store(true, std::memory_order_release);
  StopWorker();
}

UnitSnapshotPtr DeviceSession::Unit() const {
  std::lock_guard lock(mutex_);
  return unit_;
}

void DeviceSession::SetUnit(UnitSnapshotPtr unit) {
  std::lock_guard lock(mutex_);
  unit_ = std::move(unit);
}

std::optional<Refusal> DeviceSession::CheckCanStart(const Request& request) const {
  if (!worker_.joinable() || Ending()) return Refusal::kNotRunning;
  const bool jogging = jog_ == JogState::kRunning;
  if (Holds<JogRequest>(request)) {
    if (pending_ || running_ != 0) return Refusal::kBusy;
  } else if (IsOneShotRequest(request)) {
    if (pending_ || running_ != 0 || jogging) return Refusal::kBusy;
  } else if (Holds<JogConfirmation>(request) || Holds<JogStopRequest>(request)) {
    return jogging ? std::nullopt : std::optional<Refusal>(Refusal::kNothingToStop);
  } else {
    return std::nullopt;  // a cancel
  }
  if (unit_ == nullptr) return Refusal::kNotConnected;
  // Settings may be programmed into a unit whose own were never read.
  if (!unit_->settings_read && !Holds<ProgramSettingsRequest>(request)) {
    return Refusal::kSettingsNotRead;
  }
  if ((Holds<MoveRequest>(request) || Holds<JogRequest>(request)) &&
      !OffsetWithinStroke(unit_->settings)) {
    return Refusal::kOffsetBeyondStroke;
  }
  return std::nullopt;
}

Submission DeviceSession::Submit(Request request) {
  Submission submission;
  {
    std::lock_guard lock(mutex_);
    submission.refusal = CheckCanStart(request);
    if (!submission.Accepted()) return submission;
    submission.id = next_id_++;
    if (Holds<CancelRequest>(request)) {
      cancel_requested_.store(true, std::memory_order_release);
    } else if (Holds<JogConfirmation>(request)) {
      last_jog_confirm_ = Clock::now();
      return submission;  // nothing for the worker to wake for
    } else if (Holds<JogStopRequest>(request)) {
      jog_ = JogState::kStopping;
      jog_id_ = submission.id;
      stop_pass_done_ = false;
    } else if (const auto* jog = std::get_if<JogRequest>(&request)) {
      jog_ = JogState::kRunning;
      jog_direction_ = jog->direction;
      jog_id_ = submission.id;
      last_jog_confirm_ = Clock::now();
    } else {
      Work work;
      work.kind = Work::Kind::kOneShot;
      work.id = submission.id;
      work.request = std::move(request);
      pending_ = std::move(work);
      // A one-shot ends the position polling after a jog.
      jog_ = JogState::kNone;
    }
    ++changes_;
  }
  wake_.notify_all();
  if (submission.Accepted() && cancel_requested_.load(std::memory_order_acquire)) WakeWaits();
  return submission;
}

DeviceSession::Work DeviceSession::TakeWork() {
  std::lock_guard lock(mutex_);
  Work work;
  work.seen = changes_;
  if (Ending()) {
    work.kind = Work::Kind::kEnd;
    return work;
  }
  if (pending_) {
    work = std::move(*pending_);
    work.seen = changes_;
    pending_.reset();
    running_ = work.id;
    return work;
  }
  if (jog_ == JogState::kRunning && Clock::now() - last_jog_confirm_ > options_.jog_confirm_limit) {
    // The interface stopped confirming the held button: stop as a release would.
    jog_ = JogState::kStopping;
    stop_pass_done_ = false;
  }
  if (jog_ == JogState::kRunning) {
    work.kind = Work::Kind::kJog;
    work.direction = jog_direction_;
  } else if (jog_ == JogState::kStopping) {
    work.kind = Work::Kind::kJogStop;
    work.first_stop_pass = !stop_pass_done_;
  }
  work.id = jog_id_;
  return work;
}

void DeviceSession::FinishOneShot(RequestId id) {
  std::lock_guard lock(mutex_);
  if (running_ == id) running_ = 0;
}

void DeviceSession::JogStopPassDone() {
  std::lock_guard lock(mutex_);
  stop_pass_done_ = true;
}

void DeviceSession::StopJogAfterFailure() {
  std::lock_guard lock(mutex_);
  if (jog_ != JogState::kRunning) return;
  jog_ = JogState::kStopping;
  stop_pass_done_ = false;
}

void DeviceSession::ForgetJog() {
  std::lock_guard lock(mutex_);
  jog_ = JogState::kNone;
}

void DeviceSession::WaitForWork(Clock::time_point deadline, std::uint64_t seen) {
  std::unique_lock lock(mutex_);
  wake_.wait_until(lock, deadline, [&] { return changes_ != seen; });
}

bool DeviceSession::SleepUnlessEnding(Clock::duration duration) {
  std::unique_lock lock(mutex_);
  return !wake_.wait_for(lock, duration, [this] { return Ending(); });
}

void DeviceSession::WakeWaits() const {
  if (cancel_fd_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(cancel_fd_, &one, sizeof one);
}

}  // namespace stravon
