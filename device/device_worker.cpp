#include "device/device_worker.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "device/device_commands.h"
#include "device/device_session.h"
#include "device/device_transfers.h"
#include "device/ports/port_list.h"
#include "device/saturating_cast.h"
#include "device/settings_transfer.h"
#include "protocol/number_text.h"

namespace stravon {
namespace {

using Clock = DeviceSession::Clock;

constexpr std::size_t kQueryBufferSize = 4096;
constexpr std::int32_t kJogPlusSpeed = -5;
constexpr std::int32_t kJogMinusSpeed = 5;
// A move stops waiting once the reading has stayed the same this often in a row.
constexpr int kUnchangedReadingsLimit = 3;

bool IsRepeating(std::int32_t code) {
  return code == kOperationJogPlus || code == kOperationJogMinus || code == kOperationJogStop;
}

// Detection gives a kernel tty name; the port is opened under the document's
// own dev root, which need not be the one of the environment.
std::string PortPath(const PortRoots& roots, const std::string& port_name) {
  if (!port_name.empty() && port_name.front() == '/') return port_name;
  return roots.dev + "/" + port_name;
}

// Detection, or the operator's own port when one was given.
bool DetectPort(DeviceSession& document, std::string* port_name) {
  const std::string& chosen = document.Options().port_override;
  if (chosen.empty()) return DetectController(&document.PortList(), port_name, document.Roots());
  std::error_code error;
  if (!std::filesystem::exists(PortPath(document.Roots(), chosen), error)) return false;
  *port_name = chosen;
  return true;
}

void Jog(DeviceSession& document, std::int32_t speed_code) {
  DeviceLink& link = document.Link();
  const JogLimits limits = ComputeJogLimits(document.CurrentSettings(), document.HomePosition(),
                                            DeviceSession::kLimitMargin);
  link.SendCommand(LimitsOnCommand(limits.lower, limits.upper));
  // Sends nothing once the jog runs at this speed.
  link.SetJogSpeed(speed_code);
}

void JogStop(DeviceSession& document) {
  DeviceLink& link = document.Link();
  link.SetJogSpeed(0);
  link.SendCommand(LimitsOffCommand());
  char reply[kQueryBufferSize];
  std::size_t received = 0;
  link.QueryCommand(QueryHCommand(), reply, sizeof reply, &received);  // the answer is not used
  link.QueryStatus();
}

// The unit's position, when the status query succeeds.
bool ReadPosition(DeviceLink& link, std::int32_t* position) {
  char reply[kQueryBufferSize];
  std::size_t received = 0;
  if (link.QueryCommand(StatusCommand(), reply, sizeof reply, &received) != 0) return false;
  *position = ParseLeadingInteger(std::string_view(reply, received));
  return true;
}

void Move(DeviceSession& document, std::int32_t target) {
  DeviceLink& link = document.Link();
  link.SendCommand(MoveCommand(target));
  // Until a reading succeeds the target counts as still ahead; a failed
  // reading keeps the one before.
  std::int32_t position = 0;
  bool known = ReadPosition(link, &position);
  std::int32_t previous = 0;
  int unchanged = 0;
  while (!known || position != target) {
    if (!document.SleepUnlessEnding(kMovePollInterval)) return;
    if (ReadPosition(link, &position)) known = true;
    unchanged = position == previous ? unchanged + 1 : 0;
    previous = position;
    // The unit has stopped short of the target.
    if (unchanged > kUnchangedReadingsLimit) break;
  }
  link.QueryStatus();
}

void CheckConnection(DeviceSession& document) {
  DeviceLink& link = document.Link();
  std::string port_name;
  const bool detected = DetectPort(document, &port_name);
  document.SetDetected(detected);
  if (detected && !document.Connected()) {
    link.SetPortName(PortPath(document.Roots(), port_name));
    link.ConnectDevice();
    ReadHardwareSettings(document);
    link.QueryStatus();
    document.SetConnected(true);
  } else if (!detected && document.Connected()) {
    // The port reports a failed close itself; the descriptor is gone either way.
    if (link.Port().IsOpen()) link.Port().CloseSerialPort();
    // A jog, or the position poll after one, would go on writing to the
    // closed port and flooding the output pane; and the link would still
    // believe a jog runs, so that the next jog at the same speed sent
    // nothing. Both end here. What the reset tries to send fails and is
    // cleared from the pane below.
    document.EndRepeatingOperation();
    link.SetJogSpeed(0);
    document.SetConnected(false);
    document.SetHardwareSettingsRead(false);
    if (FrontEnd* front_end = document.GetFrontEnd()) front_end->ClearOutput();
  }
}

void CarryOut(DeviceSession& document, const DeviceSession::Request& request) {
  switch (request.code) {
    case kOperationReadDevice:
      ReadDevice(document);
      document.FinishOperation(request);
      break;
    case kOperationProgramDevice:
      ProgramDevice(document);
      document.FinishOperation(request);
      break;
    case kOperationJogPlus:
      Jog(document, kJogPlusSpeed);
      break;
    case kOperationJogMinus:
      Jog(document, kJogMinusSpeed);
      break;
    case kOperationJogStop:
      JogStop(document);
      break;
    case kOperationMove:
      Move(document, document.MoveTarget());
      document.FinishOperation(request);
      break;
    case kOperationProgramHardwareSettings:
      ProgramHardwareSettings(document, document.PendingHardwareSettings());
      document.FinishOperation(request);
      break;
    default:
      break;
  }
}

}  // namespace

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

int RunDeviceWorker(DeviceSession& document) {
  // So that the first pass checks at once.
  Clock::time_point last_check = Clock::now() - kConnectionCheckInterval - Clock::duration(1);
  for (;;) {
    const Clock::time_point pass_start = Clock::now();
    const DeviceSession::Request request = document.CurrentRequest();
    if (request.code == kOperationEnd) break;
    CarryOut(document, request);
    if (document.Ending()) break;

    if (Clock::now() - last_check > kConnectionCheckInterval) {
      CheckConnection(document);
      last_check = Clock::now();
    }

    Clock::time_point wake = last_check + kConnectionCheckInterval + Clock::duration(1);
    if (IsRepeating(request.code)) wake = std::min(wake, pass_start + kRepeatInterval);
    document.WaitForRequest(wake, request.count);
  }
  return 1;
}

void StatusHandler(const std::string& text, int kind, DeviceSession& document) {
  if (kind != 0) return;
  const std::int32_t position = ParseLeadingInteger(text);
  const double offset = document.CurrentSettings().OffsetShown(position);
  document.SetCurrentOffset(offset);
  if (FrontEnd* front_end = document.GetFrontEnd()) {
    front_end->WriteOffsetField(FormatFixed(offset, 2));
  }
}

}  // namespace stravon
