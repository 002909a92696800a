// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_link.h"

#include <array>
#include <string>
#include <string_view>

#include "device/device_commands.h"
#include "device/program_image.h"
#include "protocol/message_log.h"
#include "protocol/number_text.h"
#include "stravon/version.h"

namespace stravon {
namespace {

constexpr std::size_t kSendBufferSize = 1024;
constexpr std::size_t kQueryBufferSize = 4096;
constexpr std::size_t kIdentificationBufferSize = 512;
constexpr int kIdentificationEntries = 4;
// After an over-long reply: wait for the line to stay quiet this long, but
// never longer than the limit in all.
constexpr int kQuietMs = 50;
constexpr int kDrainLimitMs = 2000;

void Log(const std::string& text) { MessageLog::Obtain().Log(text); }

}  // namespace

DeviceLink::DeviceLink() : port_([](const std::string& message) { Log(message); }) {}

bool DeviceLink::LineLost() const { return line_lost_ || port_.LineLost(); }

// A failed exchange whose cause is a line that went away.
CommandResult DeviceLink::PortFailure(int code) {
  const CommandResult result = CommandResult::PortFailure(code, port_.LastError().error_number);
  if (CauseOf(result) == Outcome::Cause::kUnplugged) line_lost_ = true;
  return result;
}

CommandResult DeviceLink::QueryCommand(const std::string& command, char* reply,
                                       std::size_t reply_size, std::size_t* received) {
  int error = 0;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    // Whatever is still waiting (the tail of an over-long reply, a reply that
    // came after its time-out) cannot answer this command; reading it as the
    // reply would shift every later reply by one.
    port_.DiscardInput();
    if (const int written = port_.WriteSerialPort(command.data(), command.size());
        written != kSerialOk) {
      return PortFailure(written);
    }
    const int read = port_.ReadSerialPort(reply, reply_size, received);
    if (read == kSerialBufferFull) {
      // The unit is likely still sending the rest of that line; let it finish
      // so that its tail is not read as the next command's reply.
      port_.DiscardInputUntilQuiet(kQuietMs, kDrainLimitMs);
    } else if (read == kSerialCancelled) {
      // A wait cut short by a cancel: the reply may still be on its way, and
      // must not be read as the answer to whatever is sent next.
      port_.DiscardInputUntilQuiet(kQuietMs, kQuietMs * 4);
    }
    if (read != kSerialOk) return PortFailure(read);
    const std::string_view text(reply, *received);
    if (!IsErrorReply(text)) return CommandResult::Ok();
    error = ErrorNumber(text);
    if (error != kRetryError) break;
  }
  return error == 0 ? CommandResult::Ok() : CommandResult::UnitError(error);
}

CommandResult DeviceLink::SendCommand(const std::string& command) {
  char reply[kSendBufferSize];
  std::size_t received = 0;
  return QueryCommand(command, reply, sizeof reply, &received);
}

bool DeviceLink::ReadIdentification() {
  char reply[kIdentificationBufferSize];
  std::size_t received = 0;
  const auto failed = [this](const CommandResult& result) {
    connect_outcome_ =
        Outcome::Of(Operation::kNone, Outcome::Kind::kFailed, Outcome::Step::kIdentify, result);
    return false;
  };
  // Lost, refused or garbled replies are the unit's; anything else is the
  // line, and nothing more can be asked over it.
  const auto line_gone = [](const CommandResult& result) {
    const Outcome::Cause cause = CauseOf(result);
    return cause != Outcome::Cause::kNoAnswer && cause != Outcome::Cause::kUnitError &&
           cause != Outcome::Cause::kBadReply;
  };
  // The first round only wakes the unit up; its answers are not used, except
  // that the last one stands in for a failed first entry below. One lost
  // reply in it is no fault; two in a row are a unit that stays silent, and
  // asking on would cost a time-out for every query.
  std::string previous;
  bool lost = false;
  for (int index = 0; index < kIdentificationEntries; ++index) {
    const CommandResult result =
        QueryCommand(IdentifyCommand(index), reply, sizeof reply, &received);
    if (result.ok()) {
      previous.assign(reply, received);
      lost = false;
    } else if (line_gone(result) || (CauseOf(result) == Outcome::Cause::kNoAnswer && lost)) {
      return failed(result);
    } else {
      lost = CauseOf(result) == Outcome::Cause::kNoAnswer;
    }
  }
  identification_.clear();
  identified_ = false;
  bool answered = false;
  CommandResult failure;
  for (int index = 0; index < kIdentificationEntries; ++index) {
    const CommandResult result =
        QueryCommand(IdentifyCommand(index), reply, sizeof reply, &received);
    if (result.ok()) {
      previous.assign(reply, received);
      answered = true;
      // The entry that names the firmware came from the unit itself.
      if (index == 2) identified_ = true;
    } else if (line_gone(result)) {
      return failed(result);
    } else {
      failure = result;
    }
    identification_.push_back(previous);
    switch (index) {
      case 0:
        Log("\n" + previous + "\t");
        break;
      case 1:
        Log("\n");
        break;
      case 2:
        Log(previous + "\t");
        break;
      default:
        Log(previous + "\n");
        break;
    }
  }
  Log(std::string(kVersionText) + "\n");
  // A unit that answered no entry of the second round has not identified
  // itself: the cause is named rather than a guess about its firmware.
  if (!answered) return failed(failure);

  firmware_revision_ = kDefaultFirmwareRevision;
  software_number_ = kDefaultSoftwareNumber;
  if (identification_.size() >= 3) {
    const std::string& entry = identification_[2];
    firmware_revision_ = IdentificationNumber(entry, "REV", 9, 1000.0, kDefaultFirmwareRevision);
    software_number_ = IdentificationNumber(entry, "SW#", 8, 1.0, kDefaultSoftwareNumber);
  }
  return true;
}

int DeviceLink::ConnectDevice() {
  SerialOptions options;
  options.HighSpeed = true;
  options.LongTimeout = true;
  options.BaudRate = -1;
  options.ReadTimeoutMs = read_timeout_ms_;
  connect_outcome_ = {};
  required_firmware_.clear();
  if (!port_.IsOpen()) {
    line_lost_ = false;
    if (!claim_.Claim(port_name_)) {
      connect_outcome_ =
          Outcome::Because(Operation::kNone, Outcome::Kind::kFailed, Outcome::Step::kOpenPort,
                           Outcome::Cause::kInUseByAnotherWindow);
      return -1;
    }
    if (const int opened = port_.OpenSerialPort(port_name_.c_str(), options); opened != kSerialOk) {
      claim_.Release();
      const int error = port_.LastError().error_number;
      connect_outcome_ =
          Outcome::Because(Operation::kNone, Outcome::Kind::kFailed, Outcome::Step::kOpenPort,
                           OpenFailureCause(error), CommandResult::PortFailure(opened, error));
      return -1;
    }
  }
  if (!ReadIdentification()) {
    Disconnect();
    return -1;
  }

  // Only a unit that gave the entry with its firmware is judged by it.
  const char* required = nullptr;
  if (identified_ && software_number_ == 74050 && firmware_revision_ < 4000) {
    required = "4.0";
  } else if (identified_ && software_number_ == 74051 && firmware_revision_ < 1000) {
    required = "1.0";
  }
  if (required != nullptr) required_firmware_ = required;
  return 1;
}

void DeviceLink::Disconnect() {
  // The port reports a failed close itself; the descriptor is gone either way.
  if (port_.IsOpen()) port_.CloseSerialPort();
  claim_.Release();
  line_lost_ = false;
  // No jog runs on a unit that is gone; a jog after the next connection
  // starts afresh, whatever its speed.
  jog_speed_code_ = 0;
  moving_ = false;
}

CommandResult DeviceLink::SetJogSpeed(std::int32_t code, Outcome::Step* failed_step) {
  if (code == jog_speed_code_) return CommandResult::Ok();
  const auto send = [&](const std::string& command, Outcome::Step step) {
    const CommandResult result = SendCommand(command);
    if (!result.ok() && failed_step != nullptr) *failed_step = step;
    return result;
  };
  if (moving_ && code == 0) {
    const CommandResult result = send(StopCommand(), Outcome::Step::kStop);
    if (result.ok()) {
      jog_speed_code_ = 0;
      moving_ = false;
    }
    QueryStatus();
    return result;
  }
  const std::int32_t value = JogSpeedValue(code);
  const int direction = code < 0 ? 1 : 0;
  if (!moving_ || direction != jog_direction_) {
    if (const CommandResult result = send(DirectionCommand(direction), Outcome::Step::kDirection);
        !result.ok()) {
      return result;
    }
    jog_direction_ = direction;
  }
  if (const CommandResult result = send(SpeedCommand(value), Outcome::Step::kSpeed); !result.ok()) {
    return result;
  }
  jog_speed_code_ = code;
  if (moving_) return CommandResult::Ok();
  // Whatever Go's answer, the unit may be moving from here on.
  moving_ = true;
  return send(GoCommand(), Outcome::Step::kGo);
}

int DeviceLink::QueryStatus() {
  char reply[kQueryBufferSize];
  std::size_t received = 0;
  // After a failed query nothing is reported: what was received then is not a
  // position, and the display keeps the last one.
  last_position_.reset();
  status_failure_ = QueryCommand(StatusCommand(), reply, sizeof reply, &received);
  if (!status_failure_.ok()) return 0;
  const std::int32_t position = ParseLeadingInteger(std::string_view(reply, received));
  last_position_ = position;
  if (status_) status_(position);
  return 0;
}

CommandResult DeviceLink::WriteProgramPage(int page, std::span<const std::uint8_t> bytes,
                                           bool* commit_sent) {
  char reply[kQueryBufferSize];
  std::size_t received = 0;
  for (std::size_t offset = 0; offset < kUnitPageSize; offset += kPageLoadSize) {
    const auto load = bytes.subspan(offset).first<kPageLoadSize>();
    if (const CommandResult result = QueryCommand(PageLoadCommand(static_cast<int>(offset), load),
                                                  reply, sizeof reply, &received);
        !result.ok()) {
      return result;
    }
  }
  // Once a commit has gone out, whatever its answer, the page may be in place.
  if (commit_sent != nullptr) *commit_sent = true;
  const auto address = static_cast<std::uint16_t>(kProgramImageAddress +
                                                  static_cast<std::size_t>(page) * kUnitPageSize);
  return SendCommand(PageCommitCommand(address));
}

CommandResult DeviceLink::ClearProgramArea(bool* commit_sent) {
  // The first page with no set in use: the unit's set list ends at once.
  const std::array<std::uint8_t, kUnitPageSize> no_sets{};
  return WriteProgramPage(0, no_sets, commit_sent);
}

Outcome DeviceLink::WriteProgramImage(std::span<const std::uint8_t> image) {
  bool cleared = false;
  // A commit of the first page (the clearing one or the last) went out and
  // its answer never came.
  bool first_page_unanswered = false;
  const auto ended = [&](Outcome::Kind kind, CommandResult result) {
    Outcome outcome = Outcome::Of(Operation::kNone, kind, Outcome::Step::kWriteProgram, result);
    if (CauseOf(result) == Outcome::Cause::kCancelled) {
      outcome.kind = Outcome::Kind::kCancelled;
      // The unit may or may not have carried that commit out, and a read
      // back would only wait on the cancel as well.
      if (first_page_unanswered) {
        outcome.held_program = Outcome::HeldProgram::kUnknown;
        cleared = false;
      }
    }
    outcome.program_area_cleared = cleared;
    return outcome;
  };
  const int pages = static_cast<int>(image.size() / kUnitPageSize);
  if (progress_) progress_(0, pages);
  if (pages <= 0) return {};
  const auto page_of = [&](int page) {
    return image.subspan(static_cast<std::size_t>(page) * kUnitPageSize, kUnitPageSize);
  };
  if (const CommandResult result = ClearProgramArea(&cleared); !result.ok()) {
    first_page_unanswered = cleared;
    return ended(Outcome::Kind::kFailed, result);
  }
  for (int step = 1; step <= pages; ++step) {
    const int page = step < pages ? step : 0;
    bool commit_sent = false;
    const CommandResult result = WriteProgramPage(page, page_of(page), &commit_sent);
    if (page == 0 && commit_sent) cleared = first_page_unanswered = true;
    if (!result.ok()) return ended(Outcome::Kind::kFailed, result);
    if (page == 0) cleared = false;  // the real first page is in place
    // A cancel after the last page comes too late to change anything.
    if (progress_ && progress_(step - 1, 0) == -1 && step < pages) {
      return ended(Outcome::Kind::kCancelled, CommandResult::Ok());
    }
  }
  return {};
}

CommandResult DeviceLink::ReadByte(std::uint16_t address, std::uint8_t* byte) {
  char reply[kQueryBufferSize];
  std::size_t received = 0;
  CommandResult result = QueryCommand(ReadByteCommand(address), reply, sizeof reply, &received);
  const std::string_view text(reply, received);
  // A garbled reply would otherwise read as some byte and a Read Device or a
  // settings read would finish with wrong data; it fails like a lost one.
  if (result.ok() && !IsByteReply(text)) result = CommandResult::BadReply();
  *byte = result.ok() ? ReplyByte(text) : 0;
  return result;
}

}  // namespace stravon
