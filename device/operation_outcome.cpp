// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/operation_outcome.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "device/serial/serial.h"
#include "protocol/number_text.h"

namespace stravon {
namespace {

// Errors with which a read, a write or an open meets a line that is gone.
bool MeansUnplugged(int error_number) {
  return error_number == EIO || error_number == ENXIO || error_number == ENODEV ||
         error_number == ENOENT || error_number == EPIPE;
}

std::string FailedLine(const char* operation, const char* failed_word, const Outcome& outcome) {
  std::string line = std::string(operation) + "... " + failed_word;
  if (const std::string cause = CauseText(outcome); !cause.empty()) line += ": " + cause;
  return line;
}

// One field's value as stored, with its unit; the series name with any byte
// that is no printable character shown as "\xNN".
std::string FieldValue(SettingsField field, const HardwareSettings& settings) {
  switch (field) {
    case SettingsField::kMotorPitch:
      return FormatGeneral(settings.MotorPitch) + " mm";
    case SettingsField::kMinimumSpecimenSize:
      return FormatGeneral(settings.MinimumSpecimenSize) + " mm";
    case SettingsField::kTravelSoftLimit:
      return FormatGeneral(settings.TravelSoftLimit) + " mm";
    case SettingsField::kSeriesName: {
      std::string text = "\"";
      for (const char c : settings.SeriesText()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(byte));
          text += escaped;
        } else {
          text += c;
        }
      }
      return text + "\"";
    }
    case SettingsField::kModelNumber:
      return std::to_string(settings.ModelNumber);
    case SettingsField::kStroke:
      return std::to_string(settings.Stroke) + " steps";
    case SettingsField::kOffsetPosition:
      return std::to_string(settings.OffsetPosition) + " steps";
  }
  return "";
}

const char* FieldName(SettingsField field) {
  switch (field) {
    case SettingsField::kMotorPitch:
      return "motor pitch";
    case SettingsField::kMinimumSpecimenSize:
      return "minimum specimen size";
    case SettingsField::kTravelSoftLimit:
      return "travel soft limit";
    case SettingsField::kSeriesName:
      return "series name";
    case SettingsField::kModelNumber:
      return "model number";
    case SettingsField::kStroke:
      return "stroke";
    case SettingsField::kOffsetPosition:
      return "offset position";
  }
  return "";
}

// "the unit holds other settings than were written: offset position
// -16776586 steps (630 steps written)".
std::string SettingsMismatchText(const Outcome::SettingsMismatch& mismatch) {
  std::string text = "the unit holds other settings than were written:";
  const char* separator = " ";
  for (const SettingsField field : DifferingFields(mismatch.written, mismatch.read)) {
    text += separator + std::string(FieldName(field)) + " " + FieldValue(field, mismatch.read) +
            " (" + FieldValue(field, mismatch.written) + " written)";
    separator = "; ";
  }
  return text;
}

}  // namespace

Outcome::Cause Outcome::Why() const {
  if (cause != Cause::kNone) return cause;
  if (kind == Kind::kCancelled) return Cause::kCancelled;
  if (kind == Kind::kFailed) return CauseOf(failure);
  return Cause::kNone;
}

Outcome::Cause CauseOf(const CommandResult& result) {
  using Cause = Outcome::Cause;
  switch (result.kind) {
    case CommandResult::Kind::kOk:
      return Cause::kNone;
    case CommandResult::Kind::kUnitError:
      return Cause::kUnitError;
    case CommandResult::Kind::kBadReply:
      return Cause::kBadReply;
    case CommandResult::Kind::kPortFailure:
      break;
  }
  switch (result.code) {
    case kSerialCancelled:
      return Cause::kCancelled;
    case kSerialReadTimedOut:
      return Cause::kNoAnswer;
    case kSerialBufferFull:
      return Cause::kBadReply;
    case kSerialReadFailed:
      // An end of file has no errno: the other side of the line closed.
      if (result.error_number == 0) return Cause::kUnplugged;
      break;
    case kSerialOpenFailed:
    case kSerialTimeoutsFailed:
      return OpenFailureCause(result.error_number);
    default:
      break;
  }
  return MeansUnplugged(result.error_number) ? Cause::kUnplugged : Cause::kPortError;
}

Outcome::Cause OpenFailureCause(int error_number) {
  using Cause = Outcome::Cause;
  switch (error_number) {
    case EACCES:
    case EPERM:
      return Cause::kNoPermission;
    case EWOULDBLOCK:  // the lock another process holds
    case EBUSY:        // its exclusive mode
      return Cause::kInUseByAnotherProgram;
    case ENOTTY:
      return Cause::kNotATerminal;
    default:
      return MeansUnplugged(error_number) ? Cause::kUnplugged : Cause::kPortError;
  }
}

std::string CauseText(const Outcome& outcome) {
  using Cause = Outcome::Cause;
  switch (outcome.Why()) {
    case Cause::kNone:
      return "";
    case Cause::kCancelled:
      return "cancelled";
    case Cause::kNoAnswer:
      return "the unit did not answer within the time-out (check its power and cable)";
    case Cause::kUnplugged:
      return "the unit was unplugged";
    case Cause::kPortError:
      return outcome.failure.error_number != 0
                 ? "the port failed (" +
                       std::generic_category().message(outcome.failure.error_number) + ")"
                 : "the port failed";
    case Cause::kUnitError:
      return "the unit answered with error " + std::to_string(outcome.failure.code);
    case Cause::kBadReply:
      return "the unit's reply was not understood";
    case Cause::kInUseByAnotherProgram:
      return "the port is in use by another program";
    case Cause::kInUseByAnotherWindow:
      return "the port is in use by another Stravon window";
    case Cause::kNoPermission:
      return "no permission to open the port";
    case Cause::kNotATerminal:
      return "it is not a serial port";
    case Cause::kSettingsNotProgrammed:
      return "the unit's hardware settings are not programmed";
  }
  return "";
}

std::string HeldProgramText(const Outcome& outcome) {
  if (outcome.program_area_cleared) return kProgramAreaClearedText;
  if (!outcome.held_program) return "";
  switch (*outcome.held_program) {
    case Outcome::HeldProgram::kNothing:
      return kProgramAreaClearedText;
    case Outcome::HeldProgram::kPrevious:
      return "The unit still holds its previous protocol.";
    case Outcome::HeldProgram::kWritten:
      return "The unit holds the new protocol, though it answered its last page with an error; "
             "read it back before running it.";
    case Outcome::HeldProgram::kUnknown:
      return "The unit may still hold the previous protocol, or part of the new one; program it "
             "again before running it.";
  }
  return "";
}

std::string OutcomeLine(const Outcome& outcome) {
  if (outcome.kind == Outcome::Kind::kNotConnected) return "";
  // These end before the transfer's line would be written: the stage view or
  // a message box has said why.
  if (outcome.step == Outcome::Step::kCommit || outcome.step == Outcome::Step::kOpenPort ||
      outcome.step == Outcome::Step::kIdentify || outcome.step == Outcome::Step::kCheckSettings) {
    return "";
  }
  const bool done = outcome.Done();
  if (outcome.step == Outcome::Step::kVerify && !done) {
    if (outcome.kind == Outcome::Kind::kCancelled) return "Verifying Device... Cancelled";
    if (!outcome.mismatch) return "Verifying Device... Failure";
    char text[120];
    std::snprintf(text, sizeof text,
                  "Verifying Device... Failure at address 0x%04X (0x%02X read, 0x%02X written)",
                  static_cast<unsigned>(outcome.mismatch->address),
                  static_cast<unsigned>(outcome.mismatch->read),
                  static_cast<unsigned>(outcome.mismatch->written));
    return text;
  }
  // "Cancelled" only for a cancel; a failure says why.
  const bool cancelled = outcome.Why() == Outcome::Cause::kCancelled;
  switch (outcome.operation) {
    case Operation::kReadDevice:
      if (done) return "Reading Device... Success";
      return cancelled ? "Reading Device... Cancelled"
                       : FailedLine("Reading Device", "Failed", outcome);
    case Operation::kProgramDevice:
      if (done) return "Programming Device... Success";
      return cancelled ? "Programming Device... Cancelled"
                       : FailedLine("Programming Device", "Failed", outcome);
    case Operation::kProgramHardwareSettings:
      if (outcome.settings_mismatch) {
        return "Programming Hardware Settings... Failure: " +
               SettingsMismatchText(*outcome.settings_mismatch);
      }
      if (outcome.step == Outcome::Step::kVerifySettings && !done) {
        return FailedLine("Programming Hardware Settings", "Failure: reading the settings back",
                          outcome);
      }
      return done ? "Programming Hardware Settings... Success"
                  : FailedLine("Programming Hardware Settings", "Failure", outcome);
    case Operation::kNone:
      // The settings read of a connection shows the model line on success.
      return done ? "" : FailedLine("Reading Hardware Settings", "Failure", outcome);
    default:
      return "";
  }
}

}  // namespace stravon
