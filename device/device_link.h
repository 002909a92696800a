// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "device/command_result.h"
#include "device/operation_outcome.h"
#include "device/port_claim.h"
#include "device/serial/serial.h"

namespace stravon {

// The link to the control unit: its serial port, the node it was found on
// and the unit's identification, with the command exchanges built on them.
// A session's link belongs to its device worker.
class DeviceLink {
 public:
  // (position, range) -> -1 when the operator cancelled.
  using ProgressCallback = std::function<int(int position, int range)>;
  // The position the unit reported, in motor steps.
  using StatusCallback = std::function<void(std::int32_t position)>;

  // The unit's "busy, send again" error; a command is sent at most this often.
  static constexpr int kRetryError = 97;
  static constexpr int kAttempts = 3;
  static constexpr int kDefaultFirmwareRevision = 1300;
  static constexpr std::int32_t kDefaultSoftwareNumber = 74050;

  DeviceLink();
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  // The path of the port's device node, opened by the next ConnectDevice.
  const std::string& PortName() const { return port_name_; }
  void SetPortName(std::string port_name) { port_name_ = std::move(port_name); }

  // Per-byte read time-out of the port, used by the next ConnectDevice. The
  // unit's protocol allows 20 s; tests and the simulator use short ones.
  int ReadTimeoutMs() const { return read_timeout_ms_; }
  void SetReadTimeoutMs(int read_timeout_ms) { read_timeout_ms_ = read_timeout_ms; }

  Serial& Port() { return port_; }

  void SetProgressCallback(ProgressCallback callback) { progress_ = std::move(callback); }
  void SetStatusCallback(StatusCallback callback) { status_ = std::move(callback); }

  const std::vector<std::string>& Identification() const { return identification_; }
  // Revision x 1000.
  std::int32_t FirmwareRevision() const { return firmware_revision_; }
  std::int32_t SoftwareNumber() const { return software_number_; }
  std::int32_t JogSpeedCode() const { return jog_speed_code_; }
  bool Moving() const { return moving_; }

  // One exchange, sent up to three times while the unit answers error 97.
  // An error reply numbered 0, or without a number, counts as success.
  CommandResult SendCommand(const std::string& command);
  // As SendCommand; the reply stays in `reply`, zero-terminated on success.
  CommandResult QueryCommand(const std::string& command, char* reply, std::size_t reply_size,
                             std::size_t* received);

  // False when the line went away, the unit lost two wake-up replies in a
  // row (then nothing more is asked: a silent unit would cost a time-out for
  // every query), or it answered no identification entry.
  bool ReadIdentification();
  // -1 when the port cannot be opened, is held by another session of this
  // process, or the unit does not answer (the port is then closed again);
  // else 1 (an old firmware only warns). ConnectOutcome says why.
  int ConnectDevice();
  const Outcome& ConnectOutcome() const { return connect_outcome_; }
  // After a connection: the firmware revision this program needs ("4.0")
  // when the unit's is older; empty when it is recent enough.
  const std::string& RequiredFirmware() const { return required_firmware_; }
  // Whether the line to the unit is gone: an exchange failed because the
  // port hung up or reported an I/O error, or the port shows it now.
  bool LineLost() const;
  // Closes the port and gives up its claim.
  void Disconnect();
  // Sends what changed, and stops at the first exchange that fails:
  // `failed_step` then names its command. Nothing after a refused direction
  // or speed goes out, so a jog never starts the wrong way or without its
  // speed. A refused Go may still have started the motion, and a refused
  // Stop may not have ended it: Moving() stays true for both, so that the
  // next speed 0 sends Stop again.
  CommandResult SetJogSpeed(std::int32_t code, Outcome::Step* failed_step = nullptr);
  // Reports the unit's position to the status callback. Returns 0.
  int QueryStatus();
  // The position the last status query read; empty when it failed.
  const std::optional<std::int32_t>& LastPosition() const { return last_position_; }
  // How the last status query failed; ok when it went through.
  const CommandResult& StatusFailure() const { return status_failure_; }
  // Writes the image page by page from the program address: done, cancelled
  // by the progress callback, or failed at step kWriteProgram. A tail shorter
  // than a page is not written. The outcome's operation is left to the caller.
  //
  // Until the last page is in place the unit holds no runnable protocol: the
  // first page goes out first with no set in use, then the others, and the
  // real first page last. So a run cut short never leaves the first pages of
  // one protocol in front of the rest of another; the outcome then tells
  // whether the old protocol was cleared.
  Outcome WriteProgramImage(std::span<const std::uint8_t> image);
  // Writes the program area's first page with no set in use, so that the unit
  // holds no runnable protocol (the other pages stay as they are). Sets
  // `commit_sent` once the page's commit has gone out, whatever its answer.
  CommandResult ClearProgramArea(bool* commit_sent = nullptr);
  // The byte at a unit address (0 unless the exchange succeeded). A reply that
  // is not a byte (see IsByteReply) is a bad reply.
  CommandResult ReadByte(std::uint16_t address, std::uint8_t* byte);

 private:
  // A failed exchange of the port's last error; notes a line that went away.
  CommandResult PortFailure(int code);
  // Loads one page of the program area and commits it (see ClearProgramArea).
  CommandResult WriteProgramPage(int page, std::span<const std::uint8_t> bytes, bool* commit_sent);

  std::vector<std::string> identification_;
  std::string required_firmware_;
  CommandResult status_failure_;
  // The last identification got its entry 2 from the unit.
  bool identified_ = false;
  bool line_lost_ = false;
  std::string port_name_;
  Outcome connect_outcome_;
  PortClaim claim_;
  Serial port_;
  int read_timeout_ms_ = 20000;
  ProgressCallback progress_;
  StatusCallback status_;
  std::int32_t firmware_revision_ = kDefaultFirmwareRevision;
  std::int32_t software_number_ = kDefaultSoftwareNumber;
  std::int32_t jog_speed_code_ = 0;
  bool moving_ = false;
  int jog_direction_ = 0;
  std::optional<std::int32_t> last_position_;
};

}  // namespace stravon
