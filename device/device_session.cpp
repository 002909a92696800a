// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_session.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

#include "device/device_worker.h"
#include "protocol/message_log.h"

namespace stravon {

DeviceSession::DeviceSession(FrontEnd* front_end, DeviceSessionOptions options)
    : options_(std::move(options)), front_end_(front_end) {
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
    log_token_ = MessageLog::Obtain().Register([this](const std::string& text) { LogSink(text); });
  }
  return log_token_ != 0;
}

void DeviceSession::AttachFrontEnd(FrontEnd* front_end) {
  std::lock_guard lock(sink_mutex_);
  front_end_.store(front_end, std::memory_order_release);
}

void DeviceSession::StartWorker() {
  if (worker_.joinable()) return;
  {
    // A code left from a worker that ended would end the new one at once.
    std::lock_guard lock(wake_mutex_);
    if (PendingOperation() == Operation::kEnd) {
      pending_.store(static_cast<std::int32_t>(Operation::kNone), std::memory_order_release);
    }
  }
  stop_motion_at_end_.store(false, std::memory_order_release);
  worker_ = std::thread([this] {
    DeviceWorker worker(*this);
    worker.Run();
  });
}

void DeviceSession::StopWorker() {
  if (!worker_.joinable()) return;
  SetPendingOperation(Operation::kEnd);
  worker_.join();
}

void DeviceSession::StopWorkerAndMotion() {
  stop_motion_at_end_.store(true, std::memory_order_release);
  StopWorker();
}

TestSequence DeviceSession::Protocol() const {
  std::lock_guard lock(state_mutex_);
  return protocol_;
}

void DeviceSession::SetProtocol(TestSequence protocol) {
  std::lock_guard lock(state_mutex_);
  protocol_ = std::move(protocol);
}

HardwareSettings DeviceSession::CurrentSettings() const {
  std::lock_guard lock(state_mutex_);
  return settings_;
}

int DeviceSession::SeriesIndex() const {
  std::lock_guard lock(state_mutex_);
  return series_index_;
}

UnitIdentification DeviceSession::Identification() const {
  std::lock_guard lock(state_mutex_);
  return identification_;
}

ProgramImage DeviceSession::LastImage() const {
  std::lock_guard lock(state_mutex_);
  return last_image_;
}

void DeviceSession::SetPendingOperation(Operation operation) {
  {
    // Written under the wake mutex so that a worker about to sleep cannot
    // miss it.
    std::lock_guard lock(wake_mutex_);
    pending_.store(static_cast<std::int32_t>(operation), std::memory_order_release);
    ++requests_;
  }
  wake_.notify_all();
  // The end must not wait for a silent unit's time-out.
  if (operation == Operation::kEnd) WakeWaits();
}

void DeviceSession::WakeWaits() const {
  if (cancel_fd_ < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(cancel_fd_, &one, sizeof one);
}

void DeviceSession::CancelOperation() {
  cancel_requested_.store(true, std::memory_order_release);
  WakeWaits();
}

void DeviceSession::ConfirmJog() {
  last_jog_confirm_.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
}

bool DeviceSession::JogConfirmationLate() const {
  const Clock::time_point confirmed{Clock::duration(last_jog_confirm_.load(std::memory_order_acquire))};
  return Clock::now() - confirmed > options_.jog_confirm_limit;
}

void DeviceSession::RequestMove(std::int32_t target) {
  {
    std::lock_guard lock(state_mutex_);
    move_target_ = target;
  }
  SetPendingOperation(Operation::kMove);
}

void DeviceSession::RequestProgramHardwareSettings(const HardwareSettings& settings) {
  {
    std::lock_guard lock(state_mutex_);
    pending_settings_ = settings;
  }
  SetPendingOperation(Operation::kProgramHardwareSettings);
}

bool DeviceSession::PressJog(bool plus) {
  if (!Connected()) return false;
  ConfirmJog();
  SetPendingOperation(plus ? Operation::kJogPlus : Operation::kJogMinus);
  return true;
}

bool DeviceSession::ReleaseJog() {
  {
    std::lock_guard lock(wake_mutex_);
    const Operation code = PendingOperation();
    if (code != Operation::kJogPlus && code != Operation::kJogMinus) return false;
    pending_.store(static_cast<std::int32_t>(Operation::kJogStop), std::memory_order_release);
    ++requests_;
  }
  wake_.notify_all();
  return true;
}

std::int32_t DeviceSession::MoveTarget() const {
  std::lock_guard lock(state_mutex_);
  return move_target_;
}

HardwareSettings DeviceSession::PendingHardwareSettings() const {
  std::lock_guard lock(state_mutex_);
  return pending_settings_;
}

Outcome DeviceSession::LastOutcome() const {
  std::lock_guard lock(wake_mutex_);
  return last_outcome_;
}

std::uint64_t DeviceSession::OutcomeCount() const {
  std::lock_guard lock(wake_mutex_);
  return outcome_count_;
}

bool DeviceSession::WaitForOutcome(std::uint64_t seen, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(wake_mutex_);
  return state_.wait_for(lock, timeout, [this, seen] { return outcome_count_ > seen; });
}

Outcome DeviceSession::ConnectionOutcome() const {
  std::lock_guard lock(state_mutex_);
  return connection_outcome_;
}

std::uint64_t DeviceSession::ConnectionAttempts() const {
  std::lock_guard lock(wake_mutex_);
  return connection_attempts_;
}

bool DeviceSession::WaitForConnectionAttempt(std::uint64_t seen,
                                             std::chrono::milliseconds timeout) const {
  std::unique_lock lock(wake_mutex_);
  return state_.wait_for(lock, timeout, [this, seen] { return connection_attempts_ > seen; });
}

bool DeviceSession::WaitUntilIdle(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(wake_mutex_);
  return state_.wait_for(lock, timeout, [this] { return !IsOneShot(PendingOperation()); });
}

bool DeviceSession::WaitUntilConnected(bool connected, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(wake_mutex_);
  return state_.wait_for(lock, timeout, [this, connected] { return Connected() == connected; });
}

void DeviceSession::SetConnected(bool connected) {
  {
    std::lock_guard lock(wake_mutex_);
    connected_.store(connected, std::memory_order_release);
  }
  state_.notify_all();
}

void DeviceSession::SetHardwareSettingsRead(bool read) {
  settings_read_.store(read, std::memory_order_release);
}

void DeviceSession::SetCurrentSettings(const HardwareSettings& settings, int series_index) {
  std::lock_guard lock(state_mutex_);
  settings_ = settings;
  series_index_ = series_index;
}

void DeviceSession::SetCurrentSettings(const HardwareSettings& settings) {
  std::lock_guard lock(state_mutex_);
  settings_ = settings;
}

void DeviceSession::SetIdentification(UnitIdentification identification) {
  std::lock_guard lock(state_mutex_);
  identification_ = std::move(identification);
}

void DeviceSession::SetLastImage(const ProgramImage& image) {
  std::lock_guard lock(state_mutex_);
  last_image_ = image;
}

void DeviceSession::RecordOutcome(const Outcome& outcome) {
  {
    std::lock_guard lock(wake_mutex_);
    last_outcome_ = outcome;
    ++outcome_count_;
  }
  state_.notify_all();
}

void DeviceSession::RecordConnectionOutcome(const Outcome& outcome) {
  {
    std::lock_guard lock(state_mutex_);
    connection_outcome_ = outcome;
  }
  {
    std::lock_guard lock(wake_mutex_);
    ++connection_attempts_;
  }
  state_.notify_all();
}

DeviceSession::Request DeviceSession::CurrentRequest() const {
  std::lock_guard lock(wake_mutex_);
  return {PendingOperation(), requests_};
}

void DeviceSession::FinishOperation(const Request& request) {
  {
    std::lock_guard lock(wake_mutex_);
    if (requests_ == request.count) {
      pending_.store(static_cast<std::int32_t>(Operation::kNone), std::memory_order_release);
    }
  }
  state_.notify_all();
}

bool DeviceSession::EndRepeatingOperation() {
  std::lock_guard lock(wake_mutex_);
  if (!IsRepeating(PendingOperation())) return false;
  pending_.store(static_cast<std::int32_t>(Operation::kNone), std::memory_order_release);
  ++requests_;
  return true;
}

void DeviceSession::WaitForRequest(Clock::time_point deadline, std::uint64_t seen) const {
  std::unique_lock lock(wake_mutex_);
  wake_.wait_until(lock, deadline, [this, seen] { return requests_ != seen; });
}

bool DeviceSession::SleepUnlessEnding(Clock::duration duration) const {
  std::unique_lock lock(wake_mutex_);
  return !wake_.wait_for(lock, duration, [this] { return Ending(); });
}

void DeviceSession::LogSink(const std::string& text) {
  std::lock_guard lock(sink_mutex_);
  if (FrontEnd* front_end = GetFrontEnd()) front_end->AppendOutput(text);
}

}  // namespace stravon
