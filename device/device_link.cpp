#include "device/device_link.h"

#include <string_view>

#include "device/device_commands.h"
#include "device/program_image.h"
#include "protocol/message_log.h"
#include "protocol/number_text.h"

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

DeviceLink::DeviceLink(FrontEnd* front_end)
    : front_end_(front_end), port_([](const std::string& message) { Log(message); }) {}

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
      return CommandResult::PortFailure(written);
    }
    const int read = port_.ReadSerialPort(reply, reply_size, received);
    if (read == kSerialBufferFull) {
      // The unit is likely still sending the rest of that line; let it finish
      // so that its tail is not read as the next command's reply.
      port_.DiscardInputUntilQuiet(kQuietMs, kDrainLimitMs);
    }
    if (read != kSerialOk) return CommandResult::PortFailure(read);
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

void DeviceLink::ReadIdentification() {
  char reply[kIdentificationBufferSize];
  std::size_t received = 0;
  // The first round only wakes the unit up; its answers are not used, except
  // that the last one stands in for a failed first entry below.
  std::string previous;
  for (int index = 0; index < kIdentificationEntries; ++index) {
    if (QueryCommand(IdentifyCommand(index), reply, sizeof reply, &received).ok()) {
      previous.assign(reply, received);
    }
  }
  identification_.clear();
  for (int index = 0; index < kIdentificationEntries; ++index) {
    if (QueryCommand(IdentifyCommand(index), reply, sizeof reply, &received).ok()) {
      previous.assign(reply, received);
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
  Log("Software Version 1.53\n");

  firmware_revision_ = kDefaultFirmwareRevision;
  software_number_ = kDefaultSoftwareNumber;
  if (identification_.size() >= 3) {
    const std::string& entry = identification_[2];
    firmware_revision_ = IdentificationNumber(entry, "REV", 9, 1000.0, kDefaultFirmwareRevision);
    software_number_ = IdentificationNumber(entry, "SW#", 8, 1.0, kDefaultSoftwareNumber);
  }
}

int DeviceLink::ConnectDevice() {
  SerialOptions options;
  options.HighSpeed = true;
  options.LongTimeout = true;
  options.BaudRate = -1;
  options.ReadTimeoutMs = read_timeout_ms_;
  if (port_.OpenSerialPort(port_name_.c_str(), options) != kSerialOk) return -1;
  ReadIdentification();

  const char* required = nullptr;
  if (software_number_ == 74050 && firmware_revision_ < 4000) {
    required = "4.0";
  } else if (software_number_ == 74051 && firmware_revision_ < 1000) {
    required = "1.0";
  }
  if (required != nullptr && front_end_ != nullptr) {
    front_end_->ShowMessageBox(FrontEnd::MessageKind::kError, "Error",
                               std::string("This Software requires firmware Rev ") + required +
                                   " or higher\nPlease exit this software\nand update firmware "
                                   "before continuing.\n");
  }
  return 1;
}

void DeviceLink::SetJogSpeed(std::int32_t code) {
  if (code == jog_speed_code_) return;
  jog_speed_code_ = code;
  if (moving_ && code == 0) {
    SendCommand(StopCommand());
    moving_ = false;
    QueryStatus();
    return;
  }
  const std::int32_t value = JogSpeedValue(code);
  const int direction = code < 0 ? 1 : 0;
  if (!moving_) {
    SendCommand(DirectionCommand(direction));
    SendCommand(SpeedCommand(value));
    SendCommand(GoCommand());
    jog_direction_ = direction;
  } else {
    if (direction != jog_direction_) {
      SendCommand(DirectionCommand(direction));
      jog_direction_ = direction;
    }
    SendCommand(SpeedCommand(value));
  }
  moving_ = true;
}

int DeviceLink::QueryStatus() {
  char reply[kQueryBufferSize];
  std::size_t received = 0;
  // After a failed query nothing is reported: what was received then is not a
  // position, and the display keeps the last one.
  if (!QueryCommand(StatusCommand(), reply, sizeof reply, &received).ok()) return 0;
  const std::int32_t position = ParseLeadingInteger(std::string_view(reply, received));
  if (status_) status_(std::to_string(position), 0);
  return 0;
}

Outcome DeviceLink::WriteProgramImage(std::span<const std::uint8_t> image) {
  const auto failed = [](CommandResult result) {
    return Outcome::Of(Operation::kNone, Outcome::Kind::kFailed, Outcome::Step::kWriteProgram,
                       result);
  };
  const int pages = static_cast<int>(image.size() / kUnitPageSize);
  if (progress_) progress_(0, pages);
  if (pages <= 0) return {};
  char reply[kQueryBufferSize];
  std::size_t received = 0;
  auto address = static_cast<std::uint16_t>(kProgramImageAddress);
  for (int page = 0; page < pages; ++page) {
    const auto page_bytes =
        image.subspan(static_cast<std::size_t>(page) * kUnitPageSize, kUnitPageSize);
    for (std::size_t offset = 0; offset < kUnitPageSize; offset += kPageLoadSize) {
      const auto load = page_bytes.subspan(offset).first<kPageLoadSize>();
      if (const CommandResult result = QueryCommand(PageLoadCommand(static_cast<int>(offset), load),
                                                    reply, sizeof reply, &received);
          !result.ok()) {
        return failed(result);
      }
    }
    if (const CommandResult result = SendCommand(PageCommitCommand(address)); !result.ok()) {
      return failed(result);
    }
    if (progress_ && progress_(page, 0) == -1) {
      return Outcome::Of(Operation::kNone, Outcome::Kind::kCancelled, Outcome::Step::kWriteProgram);
    }
    address = static_cast<std::uint16_t>(address + kUnitPageSize);
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
