#pragma once

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
};

// One serial port, opened as /dev/<name> (under the dev root).
class Serial {
 public:
  explicit Serial(SerialReporter reporter = nullptr);
  // Does not close the port (callers close explicitly).
  virtual ~Serial();
  Serial(const Serial&) = delete;
  Serial& operator=(const Serial&) = delete;

  // `port_name` is a kernel tty name such as "ttyUSB0", or an absolute path.
  int OpenSerialPort(const char* port_name, SerialOptions options);
  int WriteSerialPort(const void* bytes, std::size_t count);
  int ReadSerialPort(char* buffer, std::size_t buffer_size, std::size_t* received);
  int CloseSerialPort();

  bool IsOpen() const { return open_; }

 private:
  SerialReporter reporter_;
  int fd_ = -1;
  bool open_ = false;
  SerialOptions options_{};
};

}  // namespace stravon
