// SPDX-License-Identifier: GPL-3.0-or-later
// The serial line over POSIX. Every termios, ioctl and lock call of the port
// lives in this file; the rest of the code sees the portable Serial interface.
#include "device/serial/serial.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <system_error>
#include <utility>

#include "protocol/retry_on_eintr.h"

namespace stravon {
namespace {

constexpr int kDefaultReadTimeoutMs = 500;
constexpr char kCarriageReturn = 13;

// termios takes speed constants, not numbers; rates without one are refused.
bool SpeedConstant(std::int32_t baud, speed_t* speed) {
  static constexpr std::pair<std::int32_t, speed_t> kSpeeds[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},
      {150, B150},         {200, B200},         {300, B300},         {600, B600},
      {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
      {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
      {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
      {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
      {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
      {3500000, B3500000}, {4000000, B4000000},
  };
  for (const auto& [rate, constant] : kSpeeds) {
    if (rate == baud) {
      *speed = constant;
      return true;
    }
  }
  return false;
}

// The unit and the program exchange plain bytes: no echo, no line editing, no
// signals, and above all no carriage-return translation (every reply ends in
// one). Applied also when the line settings are kept, since a Linux tty starts
// in cooked mode and would otherwise swallow the replies' terminators.
void MakeRaw(termios* tio) {
  tio->c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                         IUCLC | IMAXBEL);
  tio->c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio->c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  tio->c_cflag |= CLOCAL | CREAD;
  // Reads happen only after poll reported input, so one byte is enough.
  tio->c_cc[VMIN] = 1;
  tio->c_cc[VTIME] = 0;
}

// Line parameters proper: speed, 8N1, flow control, and no hang-up on close so
// that closing the port does not reset the unit.
bool SetLine(termios* tio, const SerialOptions& options) {
  const std::int32_t baud =
      options.BaudRate > 0 ? options.BaudRate : (options.HighSpeed ? 115200 : 9600);
  speed_t speed = B0;
  if (!SpeedConstant(baud, &speed)) return false;
  if (cfsetispeed(tio, speed) != 0 || cfsetospeed(tio, speed) != 0) return false;
  tio->c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | HUPCL);
  tio->c_cflag |= CS8;
  if (options.XonXoff) {
    tio->c_iflag |= IXON | IXOFF;
  } else {
    tio->c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  }
  return true;
}

// Where the driver supports it, deliver received bytes without the batching
// delay some USB bridges add; a refusal (a pseudo-terminal) changes nothing.
void RequestLowLatency(int fd) {
  serial_struct info{};
  if (ioctl(fd, TIOCGSERIAL, &info) != 0) return;
  if ((info.flags & ASYNC_LOW_LATENCY) != 0) return;
  info.flags |= ASYNC_LOW_LATENCY;
  ioctl(fd, TIOCSSERIAL, &info);
}

// How a failure message begins; the port's node follows.
const char* FailedStepText(SerialStep step) {
  switch (step) {
    case SerialStep::kOpen:
      return "Cannot open ";
    case SerialStep::kReadLineSettings:
      return "Cannot read the line settings of ";
    case SerialStep::kSetLineSettings:
      return "Cannot set the line settings of ";
    case SerialStep::kSetTimeout:
      return "Cannot set the read time-out of ";
    case SerialStep::kWrite:
      return "Cannot write to ";
    case SerialStep::kRead:
      return "Cannot read from ";
    case SerialStep::kClose:
      return "Cannot close ";
    case SerialStep::kNone:
      break;
  }
  return "Cannot use ";
}

}  // namespace

Serial::Serial(SerialReporter reporter) : reporter_(std::move(reporter)) {}

Serial::~Serial() {
  if (open_) {
    ioctl(fd_, TIOCNXCL);
    close(fd_);
  }
}

void Serial::Remember(SerialStep step, int error) {
  last_error_.error_number = error;
  last_error_.step = step;
}

std::string Serial::PortText() const { return path_.empty() ? "the serial port" : path_; }

int Serial::Report(SerialStep step, int error, int code) {
  Remember(step, error);
  // The error category's text is strerror's, without its thread-safety trap.
  if (reporter_) {
    reporter_(std::string(FailedStepText(step)) + PortText() + ": " +
              std::generic_category().message(error) + " (error " + std::to_string(error) + ").\n");
  }
  return code;
}

int Serial::OpenSerialPort(const char* path_name, SerialOptions options) {
  if (open_) return kSerialOk;
  path_ = path_name != nullptr ? path_name : "";

  // Opened without blocking so that a port waiting for carrier cannot hang us.
  const int fd =
      RetryOnEintr([&] { return open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK); });
  if (fd < 0) return Report(SerialStep::kOpen, errno, kSerialOpenFailed);
  // A file or /dev/null would take the commands and answer nothing; refused
  // here, it is reported as what it is instead of as a silent unit.
  if (isatty(fd) != 1) {
    const int error = errno;
    close(fd);
    return Report(SerialStep::kOpen, error == EBADF ? ENOTTY : error, kSerialOpenFailed);
  }

  // Failures after open release the descriptor (and the exclusive mode, once
  // set) at once, so that the port can be opened again later.
  bool exclusive = false;
  const auto fail = [&](SerialStep step, int error, int code) {
    if (exclusive) ioctl(fd, TIOCNXCL);
    close(fd);
    return Report(step, error, code);
  };

  // Exclusive use. TIOCEXCL alone does not stop a privileged process, so the
  // lock is what keeps a second program (or a second Serial) out.
  if (RetryOnEintr([&] { return flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
    return fail(SerialStep::kOpen, errno, kSerialOpenFailed);
  }
  if (ioctl(fd, TIOCEXCL) != 0) return fail(SerialStep::kOpen, errno, kSerialOpenFailed);
  exclusive = true;
  // The descriptor stays non-blocking: poll may report input that another
  // process holding the node (a stray `cat`) takes first, and a blocking
  // read would then wait past every time-out and cancel.

  termios tio{};
  if (tcgetattr(fd, &tio) != 0) {
    return fail(SerialStep::kReadLineSettings, errno, kSerialOpenFailed);
  }
  if (!options.KeepLineSettings && !SetLine(&tio, options)) {
    return fail(SerialStep::kSetLineSettings, EINVAL, kSerialOpenFailed);
  }
  MakeRaw(&tio);
  if (tcsetattr(fd, TCSANOW, &tio) != 0) {
    return fail(SerialStep::kSetLineSettings, errno, kSerialOpenFailed);
  }
  if (!options.KeepLineSettings && options.DtrEnable) {
    // Pseudo-terminals have no modem lines and refuse this; that is fine.
    int dtr = TIOCM_DTR;
    ioctl(fd, TIOCMBIS, &dtr);
  }
  RequestLowLatency(fd);

  int timeout_ms = kDefaultReadTimeoutMs;
  if (options.LongTimeout) {
    timeout_ms = options.ReadTimeoutMs;
  } else if (options.NonBlocking) {
    timeout_ms = 0;
  }
  if (timeout_ms < 0) return fail(SerialStep::kSetTimeout, EINVAL, kSerialTimeoutsFailed);

  fd_ = fd;
  last_error_ = {};
  read_timeout_ms_ = timeout_ms;
  input_begin_ = input_end_ = 0;
  open_ = true;
  return kSerialOk;
}

int Serial::WriteSerialPort(const void* bytes, std::size_t count) {
  if (!open_) return Report(SerialStep::kWrite, EBADF, kSerialWriteFailed);
  const char* next = static_cast<const char*>(bytes);
  while (count > 0) {
    const ssize_t written = RetryOnEintr([&] { return write(fd_, next, count); });
    if (written < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        // A line that takes no more output (flow control held) fails like a
        // unit that does not answer, instead of hanging the worker.
        pollfd pfd{fd_, POLLOUT, 0};
        const int ready = RetryOnEintr([&] { return poll(&pfd, 1, read_timeout_ms_); });
        if (ready < 0) return Report(SerialStep::kWrite, errno, kSerialWriteFailed);
        if (ready == 0) return Report(SerialStep::kWrite, ETIMEDOUT, kSerialWriteFailed);
        continue;
      }
      return Report(SerialStep::kWrite, errno, kSerialWriteFailed);
    }
    next += written;
    count -= static_cast<std::size_t>(written);
  }
  return kSerialOk;
}

void Serial::SetCancellation(int wake_fd, std::function<bool()> cancelled) {
  wake_fd_ = wake_fd;
  cancelled_ = std::move(cancelled);
}

void Serial::DrainWakeUp() {
  // The flag asked by the read is the truth; a wake-up left from an earlier
  // cancel is dropped so that it does not wake every later wait.
  char scratch[8];
  while (read(wake_fd_, scratch, sizeof scratch) > 0) {
  }
}

// Waits for input (up to the per-byte time-out) and reads what has arrived.
int Serial::FillInput() {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(read_timeout_ms_);
  for (;;) {
    if (cancelled_ && cancelled_()) {
      Remember(SerialStep::kRead, ECANCELED);
      return kSerialCancelled;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    int wait_ms = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    if (cancelled_) wait_ms = std::min(wait_ms, kCancelPollMs);
    pollfd pfds[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    const int ready = poll(pfds, wake_fd_ >= 0 ? 2 : 1, wait_ms);
    const pollfd& pfd = pfds[0];
    if (ready < 0) {
      if (errno == EINTR) continue;
      return Report(SerialStep::kRead, errno, kSerialReadFailed);
    }
    if (wake_fd_ >= 0 && pfds[1].revents != 0) DrainWakeUp();
    const auto timed_out = [&] {
      Remember(SerialStep::kRead, 0);
      if (reporter_) reporter_("\nTimed Out Waiting for Response from " + PortText() + "\n");
      return kSerialReadTimedOut;
    };
    if (pfd.revents == 0) {
      // A wake-up or the end of a slice: the cancel is looked at above.
      if (Clock::now() < deadline) continue;
      return timed_out();
    }
    // Read even on POLLHUP or POLLERR: data that arrived before a hang-up is
    // still handed out, and the read itself then tells end of file or the error.
    const ssize_t got = RetryOnEintr([&] { return read(fd_, input_.data(), input_.size()); });
    if (got > 0) {
      input_begin_ = 0;
      input_end_ = static_cast<std::size_t>(got);
      return kSerialOk;
    }
    if (got == 0) {
      Remember(SerialStep::kRead, 0);  // end of file is not reported
      return kSerialReadFailed;
    }
    // Input that poll saw and someone else took: nothing yet, as before.
    if ((errno == EAGAIN || errno == EWOULDBLOCK) && (pfd.revents & (POLLHUP | POLLERR)) == 0) {
      if (Clock::now() < deadline) continue;
      return timed_out();
    }
    return Report(SerialStep::kRead, errno, kSerialReadFailed);
  }
}

int Serial::NextByte(char* byte) {
  if (input_begin_ == input_end_) {
    const int result = FillInput();
    if (result != kSerialOk) return result;
  }
  *byte = input_[input_begin_++];
  return kSerialOk;
}

int Serial::ReadSerialPort(char* buffer, std::size_t buffer_size, std::size_t* received) {
  *received = 0;
  if (!open_) return Report(SerialStep::kRead, EBADF, kSerialReadFailed);
  while (*received < buffer_size) {
    char byte = 0;
    const int result = NextByte(&byte);
    if (result != kSerialOk) return result;
    if (byte == kCarriageReturn) {
      buffer[*received] = '\0';
      return kSerialOk;
    }
    buffer[(*received)++] = byte;
  }
  return kSerialBufferFull;
}

void Serial::DiscardInput() {
  input_begin_ = input_end_ = 0;
  if (open_) tcflush(fd_, TCIFLUSH);
}

void Serial::DiscardInputUntilQuiet(int quiet_ms, int limit_ms) {
  DiscardInput();
  if (!open_) return;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  char scratch[512];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    pollfd pfd{fd_, POLLIN, 0};
    const int ready = poll(&pfd, 1, static_cast<int>(std::min<long long>(quiet_ms, left.count())));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || (pfd.revents & POLLIN) == 0) return;  // quiet, or the line is gone
    if (read(fd_, scratch, sizeof scratch) <= 0 && errno != EINTR && errno != EAGAIN) return;
  }
}

bool Serial::LineLost() const {
  if (!open_) return false;
  pollfd watched{fd_, 0, 0};
  if (RetryOnEintr([&] { return poll(&watched, 1, 0); }) != 1) return false;
  return (watched.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

int Serial::CloseSerialPort() {
  if (!open_) return kSerialNotOpen;
  ioctl(fd_, TIOCNXCL);
  // Never retried: on Linux the descriptor is released even when close
  // reports an error, so the port counts as closed either way.
  const int closed = close(fd_);
  const int error = errno;
  fd_ = -1;
  open_ = false;
  input_begin_ = input_end_ = 0;
  if (closed != 0) return Report(SerialStep::kClose, error, kSerialOpenFailed);
  return kSerialOk;
}

}  // namespace stravon
