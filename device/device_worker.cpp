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
// A stop the unit refuses or does not answer is sent this often before the
// motion counts as not stopped; a stop it took must come to rest (two equal
// position readings) within this many readings.
constexpr int kStopAttempts = 3;
constexpr int kStopSettlePasses = 20;
constexpr std::chrono::milliseconds kStopRetryInterval{100};

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
  link_.Port().SetCancellation(session_.CancelWakeFd(),
                               [this] { return session_.Ending() || session_.CancelRequested(); });
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
  // A new jog replaces a stop that was still settling.
  ForgetStop();
  const JogLimits limits =
      ComputeJogLimits(unit_.settings, kHomePosition, DeviceSession::kLimitMargin);
  Outcome::Step step = Outcome::Step::kLimitsOn;
  CommandResult result = link_.SendCommand(LimitsOnCommand(limits.lower, limits.upper));
  // No motion without its limits; sends nothing once the jog runs at this speed.
  if (result.ok()) {
    result =
        link_.SetJogSpeed(direction == JogDirection::kPlus ? kJogPlusSpeed : kJogMinusSpeed, &step);
  }
  // A jog whose limits or motion the unit did not take is not left running.
  if (!result.ok() && jog_failure_.ok()) {
    jog_failure_ = result;
    jog_failure_step_ = step;
    session_.StopJogAfterFailure();
  }
}

void DeviceWorker::ForgetStop() {
  stop_tries_ = 0;
  stop_passes_ = 0;
  stop_reading_.reset();
}

std::optional<JogStoppedEvent> DeviceWorker::JogStop(RequestId id, bool settling) {
  const auto settled = [&](CommandResult failure, Outcome::Step step) {
    JogStoppedEvent event{id, failure, step};
    // A stop not seen to come to rest outweighs a failure that ended the jog.
    if (failure.ok() && step == Outcome::Step::kNone) event = {id, jog_failure_, jog_failure_step_};
    jog_failure_ = {};
    jog_failure_step_ = Outcome::Step::kNone;
    ForgetStop();
    return std::optional<JogStoppedEvent>(event);
  };
  if (settling && link_.Moving()) {
    // Until the unit takes the stop its limits stay on: they are what still
    // holds the actuator if it runs on.
    if (const CommandResult stop = link_.SetJogSpeed(0); !stop.ok()) {
      ++stop_tries_;
      if (stop_tries_ >= kStopAttempts || CauseOf(stop) == Outcome::Cause::kUnplugged) {
        // Nothing more is sent for this jog; the front end says the unit may
        // still be moving.
        session_.ForgetJog();
        return settled(stop, Outcome::Step::kStop);
      }
      return std::nullopt;
    }
    stop_reading_ = link_.LastPosition();
  }
  link_.SendCommand(LimitsOffCommand());
  char reply[kQueryBufferSize];
  std::size_t received = 0;
  link_.QueryCommand(QueryHCommand(), reply, sizeof reply, &received);  // the answer is not used
  link_.QueryStatus();
  if (!settling) return std::nullopt;
  const std::optional<std::int32_t> reading = link_.LastPosition();
  if (reading && stop_reading_ == reading) return settled({}, Outcome::Step::kNone);
  stop_reading_ = reading;
  // Still moving after the unit took the stop, or no position to be had.
  if (++stop_passes_ >= kStopSettlePasses) {
    session_.ForgetJog();
    return settled({}, Outcome::Step::kStop);
  }
  return std::nullopt;
}

bool DeviceWorker::StopMove(CommandResult* failure) {
  for (int attempt = 0; attempt < kStopAttempts; ++attempt) {
    *failure = link_.SendCommand(StopCommand());
    if (failure->ok() || CauseOf(*failure) == Outcome::Cause::kUnplugged) break;
    if (!session_.SleepUnlessEnding(kStopRetryInterval)) break;
  }
  if (!failure->ok()) return false;
  std::optional<std::int32_t> previous;
  for (int reading = 0; reading < kStopSettlePasses; ++reading) {
    link_.QueryStatus();
    if (link_.LastPosition() && link_.LastPosition() == previous) return true;
    previous = link_.LastPosition();
    if (!session_.SleepUnlessEnding(kMovePollInterval)) break;
  }
  return false;  // taken, but the unit did not come to rest
}

Outcome DeviceWorker::Move(std::int32_t target) {
  Outcome outcome = Outcome::Of(Operation::kMove);
  // Ends a move the unit may be making: `at_rest` once it is at rest.
  const auto stopped = [this](Outcome at_rest) {
    session_.ClearCancel();
    if (CommandResult failure; !StopMove(&failure)) {
      return Outcome::Of(Operation::kMove, Outcome::Kind::kFailed, Outcome::Step::kStop, failure);
    }
    return at_rest;
  };
  if (const CommandResult started = link_.SendCommand(MoveCommand(target)); !started.ok()) {
    const Outcome failed =
        Outcome::Of(Operation::kMove, Outcome::Kind::kFailed, Outcome::Step::kStartMove, started);
    switch (CauseOf(started)) {
      case Outcome::Cause::kUnitError:
        // A refused target leaves the unit where it was; the display shows where.
        link_.QueryStatus();
        return failed;
      case Outcome::Cause::kUnplugged:
        return failed;
      case Outcome::Cause::kCancelled:
        outcome.kind = Outcome::Kind::kCancelled;
        return stopped(outcome);
      default:
        // Sent, but its answer was lost: the unit may be on its way.
        return stopped(failed);
    }
  }
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
    if (session_.CancelRequested()) {
      // A cancelled move counts as ended only once the unit is at rest.
      outcome.kind = Outcome::Kind::kCancelled;
      return stopped(outcome);
    }
    reading = ReadPosition(link_, &position);
    if (reading.ok()) known = true;
    unchanged = position == previous ? unchanged + 1 : 0;
    previous = position;
    // The unit has stopped short of the target, or is gone.
    if (unchanged > kUnchangedReadingsLimit || CauseOf(reading) == Outcome::Cause::kUnplugged) {
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
  ForgetStop();
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
    case Kind::kJogStop: {
      // Without a unit there is nothing left to stop.
      std::optional<JogStoppedEvent> stopped =
          connected_ ? JogStop(work.id, work.first_stop_pass)
                     : JogStoppedEvent{work.id, jog_failure_, jog_failure_step_};
      if (work.first_stop_pass && stopped) {
        session_.JogStopPassDone();
        jog_failure_ = {};
        jog_failure_step_ = Outcome::Step::kNone;
        Publish(std::move(*stopped));
      }
      break;
    }
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
