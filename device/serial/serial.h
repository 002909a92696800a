// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace stravon {

// Where a port reports its failures (the message log in the desktop program and
// the CLI). A port given none reports nothing, as portscout needs.
using SerialReporter = std::function<void(const std::string& message)>;

struct SerialOptions {
  bool DtrEnable = false;
  bool XonXoff = false;
  bool NonBlocking = false;
  bool HighSpeed = false;
  bool LongTimeout = false;
  std::int32_t BaudRate = -1;
  bool KeepLineSettings = false;
  // Per-byte read time-out used with LongTimeout. Tests and the simulator
  // shorten it; the unit's own protocol assumes 20 s.
  int ReadTimeoutMs = 20000;
};

// Result codes of the serial operations.
enum SerialResult : int {
  kSerialOk = 0,
  kSerialNotOpen = 1,
  kSerialOpenFailed = 2,
  kSerialTimeoutsFailed = 3,
  kSerialWriteFailed = 4,
  kSerialReadFailed = 16,
  kSerialReadTimedOut = 32,
  kSerialBufferFull = 64,
  // A wait for the unit ended early because the owner asked (a cancel, the
  // session closing); nothing is reported for it.
  kSerialCancelled = 128,
};

// The step of a port's work that failed.
enum class SerialStep {
  kNone,
  kOpen,
  kReadLineSettings,
  kSetLineSettings,
  kSetTimeout,
  kWrite,
  kRead,
  kClose,
};

// The system error behind the last failed operation of a port, kept beside the
// message it reported so that a front end can advise on the cause (no
// permission to open the port, say) without trying again itself.
struct SerialError {
  int error_number = 0;  // errno; 0 when the failure had none (end of file, time-out)
  SerialStep step = SerialStep::kNone;

  bool operator==(const SerialError&) const = default;
};

// One serial port. Used by one thread at a time.
class Serial {
 public:
  explicit Serial(SerialReporter reporter = nullptr);
  // Callers close explicitly. A port still open here is released silently:
  // a leaked descriptor would keep the exclusive lock and block the port.
  virtual ~Serial();
  Serial(const Serial&) = delete;
  Serial& operator=(const Serial&) = delete;

  // Opens the device node at `path_name` (see PortNodePath for a tty name).
  // Returns 0 at once when the port is already open.
  int OpenSerialPort(const char* path_name, SerialOptions options);
  // Writes every byte (0, or 4 on failure).
  int WriteSerialPort(const void* bytes, std::size_t count);
  // Reads one reply up to its carriage return, which is replaced by a zero
  // byte and not counted. Returns 0, 16 (read failed, also end of file or
  // hang-up, at once), 32 (no byte within the time-out) or 64 (the buffer
  // filled up first; it is then not zero-terminated).
  int ReadSerialPort(char* buffer, std::size_t buffer_size, std::size_t* received);
  // 0, 1 when not open, 2 when closing failed (the descriptor is gone anyway).
  int CloseSerialPort();
  // Drops input that has arrived but not been read yet, here or in the driver.
  void DiscardInput();
  // Reads and drops input until none has arrived for `quiet_ms`, for at most
  // `limit_ms`: the rest of a reply that is still on its way.
  void DiscardInputUntilQuiet(int quiet_ms, int limit_ms);

  // Lets a read that waits for the unit end at once when its owner cancels:
  // the wait also watches `wake_fd` (a non-blocking eventfd or pipe, made
  // readable by the cancelling thread), and asks `cancelled` when that
  // wakes it and at least every kCancelPollMs, for cancels that only set a
  // flag. A read cancelled so returns kSerialCancelled. -1 and no function
  // turn this off.
  static constexpr int kCancelPollMs = 50;
  void SetCancellation(int wake_fd, std::function<bool()> cancelled);

  bool IsOpen() const { return open_; }
  // Whether the open port's line has gone (hung up, or in error), found
  // without waiting: a unit unplugged while nothing was being exchanged.
  bool LineLost() const;
  // Cleared by a successful open; every failing operation sets it.
  const SerialError& LastError() const { return last_error_; }

 private:
  // 0 and the next byte, or a read result code.
  int NextByte(char* byte);
  int FillInput();
  // Records the failure as the last error and reports it; returns `code`.
  int Report(SerialStep step, int error, int code);
  void Remember(SerialStep step, int error);
  // The port as messages name it.
  std::string PortText() const;

  void DrainWakeUp();

  SerialReporter reporter_;
  SerialError last_error_;
  // The node last opened or tried, kept after closing for the messages of
  // calls on a closed port.
  std::string path_;
  int wake_fd_ = -1;
  std::function<bool()> cancelled_;
  int fd_ = -1;
  bool open_ = false;
  // Per-byte wait in milliseconds (0 returns at once).
  int read_timeout_ms_ = 500;
  // Bytes read from the port but not yet handed out; a reply's tail beyond
  // its carriage return stays here for the next read.
  std::array<char, 256> input_{};
  std::size_t input_begin_ = 0;
  std::size_t input_end_ = 0;
};

}  // namespace stravon
