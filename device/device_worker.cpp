// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_worker.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "device/device_commands.h"
#include "device/device_transfers.h"
#include "device/ports/port_list.h"
#include "device/saturating_cast.h"
#include "device/settings_transfer.h"
#include "protocol/number_text.h"

namespace stravon {
namespace {

constexpr std::size_t kQueryBufferSize = 4096;
constexpr std::int32_t kJogPlusSpeed = -5;
constexpr std::int32_t kJogMinusSpeed = 5;
// A move stops waiting once the reading has stayed the same this often in a row.
constexpr int kUnchangedReadingsLimit = 3;

// The unit's position, when the status query succeeds.
CommandResult ReadPosition(DeviceLink& link, std::int32_t* position) {
  char reply[kQueryBufferSize];
  std::size_t received = 0;
  const CommandResult result = link.QueryCommand(StatusCommand(), reply, sizeof reply, &received);
  if (result.ok()) *position = ParseLeadingInteger(std::string_view(reply, received));
  return result;
}

Operation OperationOf(const Request& request) {
  if (std::holds_alternative<ReadRequest>(request)) return Operation::kReadDevice;
  if (std::holds_alternative<ProgramRequest>(request)) return Operation::kProgramDevice;
  if (std::holds_alternative<ProgramSettingsRequest>(request)) {
    return Operation::kProgramHardwareSettings;
  }
  if (std::holds_alternative<MoveRequest>(request)) return Operation::kMove;
  return Operation::kNone;
}

}  // namespace

DeviceWorker::DeviceWorker(DeviceSession& session) : session_(session) {
  link_.SetReadTimeoutMs(session_.Options().read_timeout_ms);
  link_.SetStatusCallback([this](std::int32_t position) { ShowStatus(position); });
  link_.SetProgressCallback([this](int /*position*/, int range) {
    if (range > 0) {
      BeginProgress(TransferPhase::kProgramming, range);
      return 1;
    }
    return Advance() ? 1 : -1;
  });
  // A wait for the unit ends at once on a cancel and when the session ends.
  link_.Port().SetCancellation(session_.CancelWakeFd(), [this] {
    return session_.Ending() || session_.CancelRequested();
  });
}

void DeviceWorker::BeginProgress(TransferPhase phase, int total) {
  phase_ = phase;
  progress_total_ = total;
  progress_done_ = 0;
  Publish(ProgressEvent{current_, phase_, 0, total, Clock::now()});
}

bool DeviceWorker::Advance() {
  ++progress_done_;
  Publish(ProgressEvent{current_, phase_, progress_done_, progress_total_, Clock::now()});
  return !(session_.Ending() || session_.CancelRequested());
}

void DeviceWorker::PublishUnit() {
  session_.SetUnit(connected_ ? std::make_shared<const UnitSnapshot>(unit_) : nullptr);
}

void DeviceWorker::SetSettings(const HardwareSettings& settings, bool read_on_connecting) {
  if (read_on_connecting) unit_.series_index = SeriesIndex(settings, unit_.series_index);
  unit_.settings = settings;
  unit_.settings_read = true;
  if (unit_.position) unit_.offset = settings.OffsetShown(*unit_.position);
  if (!connected_) return;
  PublishUnit();
  Publish(SettingsChangedEvent{session_.Unit()});
}

// Detection gives a kernel tty name; the port is opened under the session's
// own dev root, which need not be the one of the environment.
bool DeviceWorker::DetectPort(std::string* path) {
  const PortRoots& roots = session_.Options().roots;
  const std::string& chosen = session_.Options().port_override;
  if (chosen.empty()) {
    std::string port_name;
    if (!DetectController(&ports_, &port_name, roots)) return false;
    *path = PortNodePath(roots, port_name);
    return true;
  }
  // The operator's own port counts as present while its node exists.
  std::error_code error;
  *path = PortNodePath(roots, chosen);
  return std::filesystem::exists(*path, error);
}

void DeviceWorker::Jog(JogDirection direction) {
  const JogLimits limits =
      ComputeJogLimits(unit_.settings, kHomePosition, DeviceSession::kLimitMargin);
  CommandResult result = link_.SendCommand(LimitsOnCommand(limits.lower, limits.upper));
  // Sends nothing once the jog runs at this speed.
  if (result.ok()) {
    result = link_.SetJogSpeed(direction == JogDirection::kPlus ? kJogPlusSpeed : kJogMinusSpeed);
  }
  // A jog whose limits or motion the unit did not take is not left running.
  if (!result.ok() && jog_failure_.ok()) {
    jog_failure_ = result;
    session_.StopJogAfterFailure();
  }
}

void DeviceWorker::JogStop() {
  link_.SetJogSpeed(0);
  link_.SendCommand(LimitsOffCommand());
  char reply[kQueryBufferSize];
  std::size_t received = 0;
  link_.QueryCommand(QueryHCommand(), reply, sizeof reply, &received);  // the answer is not used
  link_.QueryStatus();
}

Outcome DeviceWorker::Move(std::int32_t target) {
  Outcome outcome = Outcome::Of(Operation::kMove);
  link_.SendCommand(MoveCommand(target));
  // Until a reading succeeds the target counts as still ahead; a failed
  // reading keeps the one before.
  std::int32_t position = 0;
  CommandResult reading = ReadPosition(link_, &position);
  bool known = reading.ok();
  std::int32_t previous = 0;
  int unchanged = 0;
  while (!known || position != target) {
    if (!session_.SleepUnlessEnding(kMovePollInterval)) {
      outcome.kind = Outcome::Kind::kCancelled;
      return outcome;
    }
    reading = ReadPosition(link_, &position);
    if (reading.ok()) known = true;
    unchanged = position == previous ? unchanged + 1 : 0;
    previous = position;
    // The unit has stopped short of the target.
    if (unchanged > kUnchangedReadingsLimit) {
      outcome.kind = Outcome::Kind::kFailed;
      outcome.step = Outcome::Step::kReachTarget;
      if (!reading.ok()) outcome.failure = reading;
      break;
    }
  }
  link_.QueryStatus();
  return outcome;
}

void DeviceWorker::ReportConnectionFailure(const std::string& path, const Outcome& outcome) {
  const Outcome::Cause cause = outcome.Why();
  if (cause == shown_failure_ || cause == Outcome::Cause::kCancelled) return;
  shown_failure_ = cause;
  ConnectionFailedEvent event{path, outcome, std::nullopt};
  if (const PortRecord* record = FindControllerPort(ports_)) event.record = *record;
  Publish(std::move(event));
}

void DeviceWorker::Connect(const std::string& path) {
  link_.SetPortName(path);
  // Nothing goes on over a port that did not open or a unit that does not
  // answer: the session stays not connected and tries again next time.
  if (link_.ConnectDevice() != 1) {
    ReportConnectionFailure(path, link_.ConnectOutcome());
    return;
  }
  shown_failure_ = Outcome::Cause::kNone;
  const int series_index = unit_.series_index;
  unit_ = UnitSnapshot{};
  unit_.series_index = series_index;
  unit_.port = path;
  unit_.identification = {link_.Identification(), link_.FirmwareRevision(), link_.SoftwareNumber()};
  if (!link_.RequiredFirmware().empty()) {
    Publish(UnitNoticeEvent{UnitNoticeEvent::Kind::kFirmwareTooOld, link_.RequiredFirmware()});
  }
  unit_.settings_outcome = ReadHardwareSettings(*this);
  if (unit_.settings_outcome.step == Outcome::Step::kCheckSettings) {
    Publish(UnitNoticeEvent{UnitNoticeEvent::Kind::kSettingsNotProgrammed, {}});
  }
  link_.QueryStatus();
  unit_.status_failure = link_.StatusFailure();
  connected_ = true;
  PublishUnit();
  Publish(ConnectedEvent{session_.Unit()});
  if (unit_.position) Publish(PositionEvent{*unit_.position, unit_.offset});
}

void DeviceWorker::Disconnect(Outcome::Cause cause) {
  // The link forgets a running jog as it closes; otherwise the next jog at
  // the same speed would send nothing. A jog, or the position polling after
  // one, would go on writing to the closed port: it ends here too.
  link_.Disconnect();
  session_.ForgetJog();
  connected_ = false;
  PublishUnit();
  Publish(DisconnectedEvent{cause});
}

void DeviceWorker::CheckConnection() {
  std::string path;
  const bool detected = DetectPort(&path);
  if (connected_) {
    // A line that failed, or a unit that came back on another node after a
    // short unplug, is a unit gone; it is opened afresh below.
    if (detected && path == link_.PortName() && !link_.LineLost()) return;
    Disconnect(Outcome::Cause::kUnplugged);
  }
  if (detected) {
    Connect(path);
  } else {
    // A port that comes back is tried afresh, and its failure said again.
    shown_failure_ = Outcome::Cause::kNone;
  }
}

FinishedEvent DeviceWorker::RunOneShot(RequestId id, const Request& request) {
  const Operation operation = OperationOf(request);
  Publish(StartedEvent{id, operation});
  FinishedEvent finished;
  if (!connected_ || !link_.Port().IsOpen()) {
    finished.outcome =
        Outcome::Of(operation, Outcome::Kind::kNotConnected, Outcome::Step::kPortClosed);
  } else if (std::holds_alternative<ReadRequest>(request)) {
    finished = ReadDevice(*this);
  } else if (const auto* program = std::get_if<ProgramRequest>(&request)) {
    finished = ProgramDevice(*this, *program);
  } else if (const auto* settings = std::get_if<ProgramSettingsRequest>(&request)) {
    finished.outcome = ProgramHardwareSettings(*this, settings->settings);
  } else if (const auto* move = std::get_if<MoveRequest>(&request)) {
    finished.outcome = Move(move->target);
  }
  finished.request = id;
  return finished;
}

void DeviceWorker::CarryOut(const DeviceSession::Work& work) {
  using Kind = DeviceSession::Work::Kind;
  switch (work.kind) {
    case Kind::kOneShot: {
      current_ = work.id;
      // A cancel belongs to the operation running when it came.
      session_.ClearCancel();
      FinishedEvent finished = RunOneShot(work.id, work.request);
      session_.ClearCancel();
      session_.FinishOneShot(work.id);
      Publish(std::move(finished));
      current_ = 0;
      break;
    }
    case Kind::kJog:
      if (connected_) Jog(work.direction);
      break;
    case Kind::kJogStop:
      if (connected_) JogStop();
      if (work.first_stop_pass) {
        session_.JogStopPassDone();
        Publish(JogStoppedEvent{work.id, jog_failure_});
        jog_failure_ = {};
      }
      break;
    case Kind::kNone:
    case Kind::kEnd:
      break;
  }
}

void DeviceWorker::Run() {
  // So that the first pass checks at once.
  Clock::time_point last_check = Clock::now() - kConnectionCheckInterval - Clock::duration(1);
  for (;;) {
    const Clock::time_point pass_start = Clock::now();
    const DeviceSession::Work work = session_.TakeWork();
    if (work.kind == DeviceSession::Work::Kind::kEnd) break;
    CarryOut(work);
    if (session_.Ending()) break;
    // A line that failed under an exchange is checked at once.
    const bool lost = connected_ && link_.LineLost();
    if (lost || Clock::now() - last_check > kConnectionCheckInterval) {
      CheckConnection();
      last_check = Clock::now();
    }

    Clock::time_point wake = last_check + kConnectionCheckInterval + Clock::duration(1);
    if (work.kind == DeviceSession::Work::Kind::kJog ||
        work.kind == DeviceSession::Work::Kind::kJogStop) {
      wake = std::min(wake, pass_start + kRepeatInterval);
    }
    session_.WaitForWork(wake, work.seen);
  }
  // Without a unit there is nothing to stop, and the write to a closed port
  // would only print a failure.
  if (session_.StopMotionAtEnd() && connected_) link_.SendCommand(StopCommand());
  // The port closes with the link.
  connected_ = false;
  PublishUnit();
}

void DeviceWorker::ShowStatus(std::int32_t position) {
  unit_.position = position;
  unit_.offset = unit_.settings.OffsetShown(position);
  if (!connected_) return;
  PublishUnit();
  Publish(PositionEvent{position, unit_.offset});
}

JogLimits ComputeJogLimits(const HardwareSettings& settings, std::int32_t home_position,
                           std::int32_t margin) {
  // Positions near the minimum specimen size, as the unit counts them.
  const std::int64_t minimum_position = std::int64_t{home_position} - settings.OffsetPosition;
  // Quotient and sum in single precision, as the unit's other conversions.
  const float travel = settings.TravelSoftLimit / settings.MotorPitch;
  const float top = std::floor(travel + static_cast<float>(minimum_position));
  JogLimits limits;
  limits.lower = TruncToInt32(static_cast<double>(minimum_position - margin));
  limits.upper = TruncToInt32(static_cast<double>(top) + margin);
  return limits;
}

}  // namespace stravon
