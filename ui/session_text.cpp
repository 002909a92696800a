// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/session_text.h"

#include <variant>

#include "device/connection_advice.h"
#include "device/operation_outcome.h"

namespace stravon {

std::string ProgressTitle(TransferPhase phase) {
  switch (phase) {
    case TransferPhase::kReading:
      return "Reading Device...";
    case TransferPhase::kProgramming:
      return "Programming Device...";
    case TransferPhase::kVerifying:
      return "Verifying Device...";
  }
  return "";
}

std::string FinishedText(const FinishedEvent& finished) {
  const Outcome& outcome = finished.outcome;
  if (outcome.operation == Operation::kMove) return "";
  std::string text;
  if (outcome.step == Outcome::Step::kVerify) {
    // The image went in; reading it back is what failed.
    text = "\nProgramming Device... Success\n" + OutcomeLine(outcome) + "\n";
    if (outcome.program_area_cleared) text += std::string(kProgramAreaClearedText) + "\n";
  } else {
    const std::string line = OutcomeLine(outcome);
    if (line.empty()) return "";
    text = "\n" + line + "\n";
    if (const std::string held = HeldProgramText(outcome); !held.empty()) text += held + "\n";
    if (outcome.Done() && outcome.operation == Operation::kProgramDevice && finished.verify) {
      text += "Verifying Device... Success\n";
    }
  }
  if (outcome.Done() && outcome.operation == Operation::kReadDevice && finished.set_count == 0) {
    text += std::string(kNoProtocolStoredText) + "\n";
  }
  return text;
}

namespace {

// The command a motion step sends, as a person knows it.
const char* MotionCommandName(Outcome::Step step) {
  switch (step) {
    case Outcome::Step::kLimitsOn:
      return "Limits On";
    case Outcome::Step::kDirection:
      return "Direction";
    case Outcome::Step::kSpeed:
      return "Speed";
    case Outcome::Step::kGo:
      return "Go";
    case Outcome::Step::kStartMove:
      return "Move";
    case Outcome::Step::kStop:
      return "Stop";
    default:
      return nullptr;
  }
}

// `motion` says what became of it ("The jog was stopped"); empty when
// `step` is no motion command.
std::string MotionFailureText(const char* motion, Outcome::Step step,
                              const CommandResult& failure) {
  const char* command = MotionCommandName(step);
  if (command == nullptr) return "";
  const std::string cause =
      CauseText(Outcome::Of(Operation::kNone, Outcome::Kind::kFailed, step, failure));
  if (step == Outcome::Step::kStop) {
    const std::string why = failure.ok() ? "it took Stop but did not come to rest"
                                         : "its Stop command failed: " + cause;
    return std::string("Error:  The unit may still be moving: ") + why +
           ".\nCheck the actuator, and switch the unit off if it still moves.\n";
  }
  return "Error:  " + std::string(motion) + ": its " + command + " command failed: " + cause +
         ".\n";
}

}  // namespace

std::string JogFailureText(const JogStoppedEvent& stopped) {
  if (stopped.failure.ok() && stopped.step != Outcome::Step::kStop) return "";
  return MotionFailureText("The jog was stopped", stopped.step, stopped.failure);
}

std::string FailureBoxText(const FinishedEvent& finished) {
  const Outcome& outcome = finished.outcome;
  if (outcome.settings_mismatch) return "Error:  " + OutcomeLine(outcome) + "\n";
  if (outcome.operation == Operation::kMove && !outcome.Done()) {
    // A Move whose answer was lost was stopped, since it may have started.
    const bool refused = outcome.failure.kind == CommandResult::Kind::kUnitError;
    return MotionFailureText(refused ? "The move did not start" : "The move was stopped",
                             outcome.step, outcome.failure);
  }
  if (!outcome.mismatch) return "";
  std::string text = "Error:  " + OutcomeLine(outcome) + "\n";
  text += outcome.program_area_cleared
              ? std::string(kProgramAreaClearedText) + "\n"
              : "The unit may hold what it read back; program it again before running it.\n";
  return text;
}

std::string ConnectedText(const UnitSnapshot& unit) {
  if (unit.settings_read) return unit.settings.ModelLine() + "\n";
  // A block that was never programmed has a message box of its own.
  if (unit.settings_outcome.step != Outcome::Step::kReadSettings) return "";
  return "\n" + OutcomeLine(unit.settings_outcome) + "\n";
}

std::string ConnectionFailedText(const ConnectionFailedEvent& failed) {
  const PortRecord* record = failed.record ? &*failed.record : nullptr;
  const std::string text = ConnectionFailureText(failed.port, failed.outcome, record);
  return text.empty() ? "" : "\n" + text + "\n";
}

MessageText NoticeText(const UnitNoticeEvent& notice) {
  switch (notice.kind) {
    case UnitNoticeEvent::Kind::kFirmwareTooOld:
      return {"Error", "This Software requires firmware Rev " + notice.required +
                           " or higher\nPlease exit this software\nand update firmware before "
                           "continuing.\n"};
    case UnitNoticeEvent::Kind::kSettingsNotProgrammed:
      return {kMessageCaption,
              "It Appears that the\nStravon hardware settings\nHave Not Been Programmed\n\n"
              "Please see user manual for Instructions\nOn Hardware Programming\n"};
  }
  return {};
}

std::optional<std::string> ConnectionStatusText(const SessionEvent& event) {
  if (const auto* connected = std::get_if<ConnectedEvent>(&event)) {
    const UnitSnapshot& unit = *connected->unit;
    const std::string model = unit.settings_read ? unit.settings.ModelLine() + " on " : "Unit on ";
    return "Connected: " + model + unit.port;
  }
  if (const auto* disconnected = std::get_if<DisconnectedEvent>(&event)) {
    return "Not connected: " + CauseText(Outcome::Because(Operation::kNone, Outcome::Kind::kFailed,
                                                          Outcome::Step::kNone,
                                                          disconnected->cause));
  }
  if (const auto* failed = std::get_if<ConnectionFailedEvent>(&event)) {
    return "Not connected: " + failed->port + ": " + CauseText(failed->outcome);
  }
  return std::nullopt;
}

std::string RefusalText(Refusal refusal) {
  switch (refusal) {
    case Refusal::kNotConnected:
      return kDeviceNotDetectedMessage;
    case Refusal::kSettingsNotRead:
      return "Error:  The unit's hardware settings have not been read.\n";
    case Refusal::kBusy:
      return "Error:  The unit is busy with another operation.\n";
    case Refusal::kOffsetBeyondStroke:
      return "Error:  The unit's offset position lies beyond its actuator stroke; program its "
             "hardware settings before moving it.\n";
    case Refusal::kNotRunning:
    case Refusal::kNothingToStop:
      break;
  }
  return "";
}

}  // namespace stravon
