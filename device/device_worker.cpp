// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_worker.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "device/connection_advice.h"
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

}  // namespace

DeviceWorker::DeviceWorker(DeviceSession& session)
    : session_(session), link_(session.GetFrontEnd()) {
  link_.SetReadTimeoutMs(session_.Options().read_timeout_ms);
  link_.SetStatusCallback([this](const std::string& text, int kind) { ShowStatus(text, kind); });
  // A wait for the unit ends at once on a cancel (the session's, or the
  // progress window's Cancel while a transfer runs) and when the session ends.
  link_.Port().SetCancellation(session_.CancelWakeFd(), [this] {
    return session_.Ending() || session_.CancelRequested() ||
           (progress_ != nullptr && progress_->IsCancelled());
  });
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

void DeviceWorker::Jog(std::int32_t speed_code) {
  const JogLimits limits = ComputeJogLimits(session_.CurrentSettings(), session_.HomePosition(),
                                            DeviceSession::kLimitMargin);
  link_.SendCommand(LimitsOnCommand(limits.lower, limits.upper));
  // Sends nothing once the jog runs at this speed.
  link_.SetJogSpeed(speed_code);
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
  const PortRecord* record = FindControllerPort(ports_);
  const std::string text = ConnectionFailureText(path, outcome, record);
  if (FrontEnd* front_end = GetFrontEnd(); front_end != nullptr && !text.empty()) {
    front_end->AppendOutput("\n" + text + "\n");
  }
}

void DeviceWorker::CheckConnection() {
  std::string path;
  const bool detected = DetectPort(&path);
  session_.SetDetected(detected);
  if (detected && !session_.Connected()) {
    link_.SetFrontEnd(session_.GetFrontEnd());
    link_.SetPortName(path);
    // Nothing goes on over a port that did not open or a unit that does not
    // answer: the session stays not connected and tries again next time.
    if (link_.ConnectDevice() != 1) {
      session_.RecordConnectionOutcome(link_.ConnectOutcome());
      ReportConnectionFailure(path, link_.ConnectOutcome());
      return;
    }
    shown_failure_ = Outcome::Cause::kNone;
    session_.SetIdentification(
        {link_.Identification(), link_.FirmwareRevision(), link_.SoftwareNumber()});
    session_.RecordConnectionOutcome(ReadHardwareSettings(*this));
    link_.QueryStatus();
    session_.SetConnected(true);
  } else if (!detected && session_.Connected()) {
    // The link forgets a running jog as it closes; otherwise the next jog at
    // the same speed would send nothing. A jog, or the position poll after
    // one, would go on writing to the closed port and flooding the output
    // pane: it ends here too.
    link_.Disconnect();
    session_.EndRepeatingOperation();
    session_.SetConnected(false);
    session_.SetHardwareSettingsRead(false);
    if (FrontEnd* front_end = GetFrontEnd()) front_end->ClearOutput();
  } else if (!detected) {
    // A port that comes back is tried afresh, and its failure said again.
    shown_failure_ = Outcome::Cause::kNone;
  }
}

void DeviceWorker::CarryOut(Operation code) {
  // A cancel belongs to the operation running when it came.
  session_.ClearCancel();
  if ((code == Operation::kJogPlus || code == Operation::kJogMinus) &&
      session_.JogConfirmationLate()) {
    // The interface stopped confirming the held button: stop as a release would.
    if (session_.ReleaseJog()) code = Operation::kJogStop;
  }
  switch (code) {
    case Operation::kReadDevice:
      session_.RecordOutcome(ReadDevice(*this));
      break;
    case Operation::kProgramDevice:
      session_.RecordOutcome(ProgramDevice(*this));
      break;
    case Operation::kJogPlus:
      Jog(kJogPlusSpeed);
      break;
    case Operation::kJogMinus:
      Jog(kJogMinusSpeed);
      break;
    case Operation::kJogStop:
      JogStop();
      break;
    case Operation::kMove:
      session_.RecordOutcome(Move(session_.MoveTarget()));
      break;
    case Operation::kProgramHardwareSettings:
      session_.RecordOutcome(ProgramHardwareSettings(*this, session_.PendingHardwareSettings()));
      break;
    default:
      break;
  }
  session_.ClearCancel();
}

void DeviceWorker::Run() {
  // So that the first pass checks at once.
  Clock::time_point last_check = Clock::now() - kConnectionCheckInterval - Clock::duration(1);
  for (;;) {
    const Clock::time_point pass_start = Clock::now();
    const DeviceSession::Request request = session_.CurrentRequest();
    if (request.code == Operation::kEnd) break;
    CarryOut(request.code);
    if (IsOneShot(request.code)) session_.FinishOperation(request);
    if (session_.Ending()) break;

    if (Clock::now() - last_check > kConnectionCheckInterval) {
      CheckConnection();
      last_check = Clock::now();
    }

    Clock::time_point wake = last_check + kConnectionCheckInterval + Clock::duration(1);
    if (IsRepeating(request.code)) wake = std::min(wake, pass_start + kRepeatInterval);
    session_.WaitForRequest(wake, request.count);
  }
  // Without a unit there is nothing to stop, and the write to a closed port
  // would only print a failure.
  if (session_.StopMotionAtEnd() && session_.Connected()) link_.SendCommand(StopCommand());
  // The port closes with the link.
  session_.SetConnected(false);
  session_.SetDetected(false);
}

void DeviceWorker::ShowStatus(const std::string& text, int kind) {
  if (kind != 0) return;
  const std::int32_t position = ParseLeadingInteger(text);
  const double offset = session_.CurrentSettings().OffsetShown(position);
  session_.SetCurrentOffset(offset);
  if (FrontEnd* front_end = GetFrontEnd()) front_end->WriteOffsetField(FormatFixed(offset, 2));
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
