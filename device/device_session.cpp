#include "device/device_session.h"

#include <utility>

#include "device/device_worker.h"
#include "device/program_image.h"
#include "protocol/message_log.h"

namespace stravon {

namespace {

bool IsOneShot(std::int32_t code) {
  return code == kOperationReadDevice || code == kOperationProgramDevice ||
         code == kOperationMove || code == kOperationProgramHardwareSettings;
}

}  // namespace

DeviceSession::DeviceSession(FrontEnd* front_end, DeviceSessionOptions options)
    : options_(std::move(options)), front_end_(front_end), link_(front_end) {
  link_.SetReadTimeoutMs(options_.read_timeout_ms);
  link_.SetStatusCallback(
      [this](const std::string& text, int kind) { StatusHandler(text, kind, *this); });
  // Only the first document becomes the log's sink; Register refuses later ones.
  log_token_ = MessageLog::Obtain().Register([this](const std::string& text) { LogSink(text); });
}

DeviceSession::~DeviceSession() {
  StopWorker();
  MessageLog::Obtain().Unregister(log_token_);
}

void DeviceSession::AttachFrontEnd(FrontEnd* front_end) {
  std::lock_guard lock(sink_mutex_);
  front_end_.store(front_end, std::memory_order_release);
  link_.SetFrontEnd(front_end);
}

void DeviceSession::StartWorker() {
  if (worker_.joinable()) return;
  worker_ = std::thread([this] { RunDeviceWorker(*this); });
}

void DeviceSession::StopWorker() {
  if (!worker_.joinable()) return;
  SetPendingOperation(kOperationEnd);
  worker_.join();
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

bool DeviceSession::CommandEnabled(int command_id) const {
  switch (command_id) {
    case kCommandFileOpen:
    case kCommandFileSave:
    case kCommandReadDevice:
    case kCommandProgramDevice:
    case kCommandHardwareSettings:
    case kCommandConnectionIndicator:
    case kCommandJogPlus:
    case kCommandJogMinus:
    case kCommandMoveToPosition:
      return Connected();
    default:
      return true;
  }
}

void DeviceSession::SetPendingOperation(std::int32_t code) {
  {
    // Written under the wake mutex so that a worker about to sleep cannot
    // miss it.
    std::lock_guard lock(wake_mutex_);
    pending_.store(code, std::memory_order_release);
    ++requests_;
  }
  wake_.notify_all();
}

void DeviceSession::RequestMove(std::int32_t target) {
  {
    std::lock_guard lock(state_mutex_);
    move_target_ = target;
  }
  SetPendingOperation(kOperationMove);
}

void DeviceSession::RequestProgramHardwareSettings(const HardwareSettings& settings) {
  {
    std::lock_guard lock(state_mutex_);
    pending_settings_ = settings;
  }
  SetPendingOperation(kOperationProgramHardwareSettings);
}

bool DeviceSession::PressJog(bool plus) {
  if (!Connected()) return false;
  SetPendingOperation(plus ? kOperationJogPlus : kOperationJogMinus);
  return true;
}

bool DeviceSession::ReleaseJog() {
  {
    std::lock_guard lock(wake_mutex_);
    const std::int32_t code = pending_.load(std::memory_order_relaxed);
    if (code != kOperationJogPlus && code != kOperationJogMinus) return false;
    pending_.store(kOperationJogStop, std::memory_order_release);
    ++requests_;
  }
  wake_.notify_all();
  return true;
}

bool DeviceSession::WaitUntilIdle(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(wake_mutex_);
  return state_.wait_for(lock, timeout,
                         [this] { return !IsOneShot(pending_.load(std::memory_order_acquire)); });
}

bool DeviceSession::WaitUntilConnected(bool connected, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(wake_mutex_);
  return state_.wait_for(lock, timeout, [this, connected] {
    return connected_.load(std::memory_order_acquire) == connected;
  });
}

void DeviceSession::SetProgress(std::unique_ptr<ProgressWindow> window) {
  progress_ = std::move(window);
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

std::int32_t DeviceSession::MoveTarget() const {
  std::lock_guard lock(state_mutex_);
  return move_target_;
}

HardwareSettings DeviceSession::PendingHardwareSettings() const {
  std::lock_guard lock(state_mutex_);
  return pending_settings_;
}

DeviceSession::Request DeviceSession::CurrentRequest() const {
  std::lock_guard lock(wake_mutex_);
  return {pending_.load(std::memory_order_acquire), requests_};
}

void DeviceSession::FinishOperation(const Request& request) {
  {
    std::lock_guard lock(wake_mutex_);
    if (requests_ == request.count) pending_.store(kOperationNone, std::memory_order_release);
  }
  state_.notify_all();
}

bool DeviceSession::EndRepeatingOperation() {
  std::lock_guard lock(wake_mutex_);
  const std::int32_t code = pending_.load(std::memory_order_relaxed);
  if (code != kOperationJogPlus && code != kOperationJogMinus && code != kOperationJogStop) {
    return false;
  }
  pending_.store(kOperationNone, std::memory_order_release);
  ++requests_;
  return true;
}

void DeviceSession::WaitForRequest(Clock::time_point deadline, std::uint64_t seen) const {
  std::unique_lock lock(wake_mutex_);
  wake_.wait_until(lock, deadline, [this, seen] { return requests_ != seen; });
}

bool DeviceSession::SleepUnlessEnding(Clock::duration duration) const {
  std::unique_lock lock(wake_mutex_);
  return !wake_.wait_for(
      lock, duration, [this] { return pending_.load(std::memory_order_acquire) == kOperationEnd; });
}

void DeviceSession::LogSink(const std::string& text) {
  std::lock_guard lock(sink_mutex_);
  if (FrontEnd* front_end = GetFrontEnd()) front_end->AppendOutput(text);
}

}  // namespace stravon
