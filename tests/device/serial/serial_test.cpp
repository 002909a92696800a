// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/serial/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/time_scale.h"

namespace stravon {
namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// A raw pseudo-terminal standing in for the unit: the test talks on the master
// side, the port under test opens the slave path.
class Pty {
 public:
  Pty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    path_ = ptsname(master_);
    // Held open (before the port takes exclusive use) so the test can inspect
    // the line settings and the terminal survives the port's close.
    slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    tcgetattr(master_, &tio);
    cfmakeraw(&tio);
    tcsetattr(master_, TCSANOW, &tio);
  }
  ~Pty() {
    CloseMaster();
    if (slave_ >= 0) close(slave_);
  }

  const std::string& path() const { return path_; }
  int slave() const { return slave_; }

  void Send(const std::string& bytes) const {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Everything that arrives within `wait_ms` of the last byte.
  std::string Receive(int wait_ms = 100) const {
    std::string got;
    pollfd pfd{master_, POLLIN, 0};
    char chunk[4096];
    while (poll(&pfd, 1, wait_ms) > 0) {
      const ssize_t n = read(master_, chunk, sizeof chunk);
      if (n <= 0) break;
      got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
  }
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

SerialOptions ShortTimeout(int ms = 300) {
  SerialOptions options;
  options.HighSpeed = true;
  options.LongTimeout = true;
  options.ReadTimeoutMs = ms;
  return options;
}

class SerialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(pty_.path().empty());
    ASSERT_GE(pty_.slave(), 0);
  }
  Serial NewPort() {
    return Serial([this](const std::string& message) { messages_.push_back(message); });
  }

  Pty pty_;
  std::vector<std::string> messages_;
};

TEST_F(SerialTest, ReadsOneReplyPerCallAndKeepsTheRestForTheNext) {
  Serial port = NewPort();
  ASSERT_EQ(port.OpenSerialPort(pty_.path().c_str(), ShortTimeout()), kSerialOk);
  // Several replies arriving in one burst must still come out one per read.
  pty_.Send("42\r7\r\rAB");
  char buffer[4096];
  std::size_t received = 99;
  EXPECT_EQ(port.ReadSerialPort(buffer, sizeof buffer, &received), kSerialOk);
  EXPECT_EQ(received, 2u);
  EXPECT_STREQ(buffer, "42");
  EXPECT_EQ(port.ReadSerialPort(buffer, sizeof buffer, &received), kSerialOk);
  EXPECT_STREQ(buffer, "7");
  EXPECT_EQ(port.ReadSerialPort(buffer, sizeof buffer, &received), kSerialOk);
  EXPECT_EQ(received, 0u);
  EXPECT_STREQ(buffer, "");
  // A reply that arrives in pieces is joined; the per-byte wait restarts.
  std::thread rest([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    pty_.Send("C");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    pty_.Send("D\r");
  });
  EXPECT_EQ(port.ReadSerialPort(buffer, sizeof buffer, &received), kSerialOk);
  rest.join();
  EXPECT_STREQ(buffer, "ABCD");
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(port.CloseSerialPort(), kSerialOk);
}

TEST_F(SerialTest, WritesEveryByteUnchanged) {
  Serial port = NewPort();
  ASSERT_EQ(port.OpenSerialPort(pty_.path().c_str(), ShortTimeout()), kSerialOk);
  EXPECT_EQ(port.WriteSerialPort("0v 64000\r", 9), kSerialOk);
  EXPECT_EQ(pty_.Receive(), "0v 64000\r");  // no CR to CR LF translation
  // Far more than the terminal buffers at once, so the write has to continue
  // while the peer drains it.
  std::string big(100000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('A' + i % 26);
  std::string got;
  std::thread reader([&] { got = pty_.Receive(200); });
  EXPECT_EQ(port.WriteSerialPort(big.data(), big.size()), kSerialOk);
  reader.join();
  EXPECT_EQ(got, big);
  EXPECT_EQ(port.CloseSerialPort(), kSerialOk);
}

TEST_F(SerialTest, FullBufferWithoutCarriageReturnGives64) {
  Serial port = NewPort();
  ASSERT_EQ(port.OpenSerialPort(pty_.path().c_str(), ShortTimeout()), kSerialOk);
  pty_.Send(std::string(64, 'x') + "\r" + "1234\r");
  char buffer[64];
  std::size_t received = 0;
  EXPECT_EQ(port.ReadSerialPort(buffer, sizeof buffer, &received), kSerialBufferFull);
  EXPECT_EQ(received, 64u);
  // Only the buffer's worth was taken: the terminator is still there.
  EXPECT_EQ(port.ReadSerialPort(buffer, sizeof buffer, &received), kSerialOk);
  EXPECT_EQ(received, 0u);
  EXPECT_EQ(port.ReadSerialPort(buffer, 4, &received), kSerialBufferFull);
  EXPECT_EQ(std::string(buffer, 4), "1234");
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(port.CloseSerialPort(), kSerialOk);
}

TEST_F(SerialTest, ReadTimeOutFollowsTheOptions) {
  struct Case {
    const char* name;
    bool long_timeout;
    bool non_blocking;
    int read_timeout_ms;
    long min_ms;
    long max_ms;
  };
  const Case cases[] = {
      {"long time-out from the options", true, false, 250, 240, 450},
      {"long time-out wins over non-blocking", true, true, 250, 240, 450},
      {"default wait", false, false, 5000, 490, 800},
      {"non-blocking returns at once", false, true, 5000, 0, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    messages_.clear();
    Serial port = NewPort();
    SerialOptions options;
    options.LongTimeout = c.long_timeout;
    options.NonBlocking = c.non_blocking;
    options.ReadTimeoutMs = c.read_timeout_ms;
    ASSERT_EQ(port.OpenSerialPort(pty_.path().c_str(), options), kSerialOk);
    pty_.Send("12");  // a reply that never ends
    char buffer[128];
    std::size_t received = 0;
    const auto start = Clock::now();
    EXPECT_EQ(port.ReadSerialPort(buffer, sizeof buffer, &received), kSerialReadTimedOut);
    const long elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, c.min_ms);
    EXPECT_LE(elapsed, test_support::Scaled(std::chrono::milliseconds(c.max_ms)).count());
    EXPECT_EQ(received, 2u);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], "\nTimed Out Waiting for Response from " + pty_.path() + "\n");
    EXPECT_EQ(port.CloseSerialPort(), kSerialOk);
  }
}

// Another process reading the same node (a stray `cat`) can take the input
// that poll announced; the read must still end with its time-out.
TEST_F(SerialTest, AReaderCompetingForThePortDoesNotOutlastTheTimeOut) {
  Serial port = NewPort();
  ASSERT_EQ(port.OpenSerialPort(pty_.path().c_str(), ShortTimeout(200)), kSerialOk);
  // Always waiting in read, as `cat` is, so it often takes a byte first.
  const int competitor = pty_.slave();
  std::atomic<bool> done{false};
  std::thread reader([&] {
    char byte = 0;
    while (!done && read(competitor, &byte, 1) > 0) {
    }
  });
  // Single bytes without a carriage return, so that every round times out;
  // each gives the port another chance to lose a byte between poll and read.
  for (int round = 0; round < 5; ++round) {
    std::thread sender([this] {
      for (int i = 0; i < 30; ++i) {
        pty_.Send("1");
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
      }
    });
    char buffer[128];
    std::size_t received = 0;
    const auto start = Clock::now();
    EXPECT_EQ(port.ReadSerialPort(buffer, sizeof buffer, &received), kSerialReadTimedOut);
    EXPECT_LT(ElapsedMs(start), test_support::Scaled(std::chrono::milliseconds(700)).count());
    sender.join();
  }
  done = true;
  pty_.Send("1");  // wakes the competitor for its last read
  reader.join();
  EXPECT_EQ(port.CloseSerialPort(), kSerialOk);
}

TEST_F(SerialTest, PeerClosingFailsTheReadAtOnce) {
  Serial port = NewPort();
  ASSERT_EQ(port.OpenSerialPort(pty_.path().c_str(), ShortTimeout(5000)), kSerialOk);
  pty_.Send("12");
  std::thread unplug([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty_.CloseMaster();
  });
  char buffer[128];
  std::size_t received = 0;
  const auto start = Clock::now();
  EXPECT_EQ(port.ReadSerialPort(buffer, sizeof buffer, &received), kSerialReadFailed);
  unplug.join();
  EXPECT_LT(ElapsedMs(start), test_support::Scaled(std::chrono::milliseconds(1000)).count());
  EXPECT_EQ(received, 2u);
  // A hang-up reads as end of file or EIO, depending on the driver.
  EXPECT_EQ(port.LastError().step, SerialStep::kRead);
  EXPECT_TRUE(port.LastError().error_number == 0 || port.LastError().error_number == EIO)
      << port.LastError().error_number;
  // Still failing at once on the next attempt, and closing works.
  EXPECT_EQ(port.ReadSerialPort(buffer, sizeof buffer, &received), kSerialReadFailed);
  EXPECT_LT(ElapsedMs(start), test_support::Scaled(std::chrono::milliseconds(1000)).count());
  EXPECT_EQ(port.CloseSerialPort(), kSerialOk);
}

TEST_F(SerialTest, PortIsHeldExclusivelyUntilClosedOrDestroyed) {
  Serial first = NewPort();
  ASSERT_EQ(first.OpenSerialPort(pty_.path().c_str(), ShortTimeout()), kSerialOk);
  EXPECT_EQ(first.OpenSerialPort("no-such-port", ShortTimeout()), kSerialOk);  // already open
  EXPECT_TRUE(first.IsOpen());
  {
    Serial second = NewPort();
    EXPECT_EQ(second.OpenSerialPort(pty_.path().c_str(), ShortTimeout()), kSerialOpenFailed);
    EXPECT_FALSE(second.IsOpen());
    ASSERT_EQ(messages_.size(), 1u);
    // Busy (EBUSY) or locked (EAGAIN), depending on the user's privileges.
    EXPECT_EQ(messages_[0].rfind("Cannot open " + pty_.path() + ": ", 0), 0u) << messages_[0];
  }
  EXPECT_EQ(first.CloseSerialPort(), kSerialOk);
  EXPECT_EQ(first.CloseSerialPort(), kSerialNotOpen);
  {
    Serial dropped = NewPort();
    ASSERT_EQ(dropped.OpenSerialPort(pty_.path().c_str(), ShortTimeout()), kSerialOk);
  }  // destroyed while open: the port must be free again
  Serial third = NewPort();
  EXPECT_EQ(third.OpenSerialPort(pty_.path().c_str(), ShortTimeout()), kSerialOk);
  EXPECT_EQ(third.CloseSerialPort(), kSerialOk);
}

TEST_F(SerialTest, OpenFailuresReportAndLeaveThePortFree) {
  const std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("serial-test-" + std::to_string(getpid()));
  std::filesystem::create_directories(root);
  std::filesystem::create_symlink(pty_.path(), root / "ttyUSB0");
  const std::string missing = root / "ttyACM7";
  const std::string node = root / "ttyUSB0";

  Serial port = NewPort();
  EXPECT_EQ(port.OpenSerialPort(missing.c_str(), ShortTimeout()), kSerialOpenFailed);
  // The cause stays with the port, so a front end can explain it.
  EXPECT_EQ(port.LastError(), (SerialError{ENOENT, SerialStep::kOpen}));
  SerialOptions odd_speed = ShortTimeout();
  odd_speed.BaudRate = 12345;
  EXPECT_EQ(port.OpenSerialPort(node.c_str(), odd_speed), kSerialOpenFailed);
  EXPECT_EQ(port.LastError(), (SerialError{EINVAL, SerialStep::kSetLineSettings}));
  SerialOptions negative_wait = ShortTimeout(-1);
  EXPECT_EQ(port.OpenSerialPort(node.c_str(), negative_wait), kSerialTimeoutsFailed);
  EXPECT_FALSE(port.IsOpen());
  const std::vector<std::string> expected = {
      "Cannot open " + missing + ": No such file or directory (error 2).\n",
      "Cannot set the line settings of " + node + ": Invalid argument (error 22).\n",
      "Cannot set the read time-out of " + node + ": Invalid argument (error 22).\n",
  };
  EXPECT_EQ(messages_, expected);
  // None of the failures kept the port: it opens now.
  EXPECT_EQ(port.OpenSerialPort(node.c_str(), ShortTimeout()), kSerialOk);
  EXPECT_EQ(port.LastError(), SerialError{});
  EXPECT_EQ(port.CloseSerialPort(), kSerialOk);

  std::filesystem::remove_all(root);
  // A port without a reporter fails the same way, silently.
  Serial quiet;
  EXPECT_EQ(quiet.OpenSerialPort("/nonexistent/stravon-no-such-tty", ShortTimeout()),
            kSerialOpenFailed);
}

TEST_F(SerialTest, WritesAndReadsOnAClosedPortNameItsNode) {
  Serial never_opened = NewPort();
  Serial closed = NewPort();
  ASSERT_EQ(closed.OpenSerialPort(pty_.path().c_str(), ShortTimeout()), kSerialOk);
  ASSERT_EQ(closed.CloseSerialPort(), kSerialOk);
  char byte = 0;
  std::size_t received = 0;
  EXPECT_EQ(never_opened.WriteSerialPort("x", 1), kSerialWriteFailed);
  EXPECT_EQ(closed.WriteSerialPort("x", 1), kSerialWriteFailed);
  EXPECT_EQ(closed.ReadSerialPort(&byte, 1, &received), kSerialReadFailed);
  const std::vector<std::string> expected = {
      "Cannot write to the serial port: Bad file descriptor (error 9).\n",
      "Cannot write to " + pty_.path() + ": Bad file descriptor (error 9).\n",
      "Cannot read from " + pty_.path() + ": Bad file descriptor (error 9).\n",
  };
  EXPECT_EQ(messages_, expected);
}

TEST_F(SerialTest, LineSettings) {
  struct Case {
    const char* name;
    bool high_speed;
    std::int32_t baud_rate;
    speed_t expected;
  };
  const Case cases[] = {
      {"high speed", true, -1, B115200},
      {"low speed", false, 0, B9600},
      {"explicit rate wins", true, 57600, B57600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    termios cooked{};
    ASSERT_EQ(tcgetattr(pty_.slave(), &cooked), 0);
    cooked.c_iflag |= ICRNL | IXON;
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_oflag |= OPOST;
    cooked.c_cflag |= PARENB | CSTOPB | HUPCL;
    ASSERT_EQ(tcsetattr(pty_.slave(), TCSANOW, &cooked), 0);

    Serial port = NewPort();
    SerialOptions options = ShortTimeout();
    options.HighSpeed = c.high_speed;
    options.BaudRate = c.baud_rate;
    ASSERT_EQ(port.OpenSerialPort(pty_.path().c_str(), options), kSerialOk);
    termios tio{};
    ASSERT_EQ(tcgetattr(pty_.slave(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), c.expected);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | HUPCL), 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | IXON), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(port.CloseSerialPort(), kSerialOk);
  }
}

TEST_F(SerialTest, KeptLineSettingsStillPassRepliesThroughUnchanged) {
  termios tio{};
  ASSERT_EQ(tcgetattr(pty_.slave(), &tio), 0);
  cfsetspeed(&tio, B19200);
  // (A pseudo-terminal forces 8 bits without parity, so stop bits and the
  // hang-up flag stand for the kept data format.)
  tio.c_cflag |= CSTOPB | HUPCL;
  tio.c_iflag |= ICRNL;
  tio.c_lflag |= ICANON | ECHO;
  ASSERT_EQ(tcsetattr(pty_.slave(), TCSANOW, &tio), 0);

  Serial port = NewPort();
  SerialOptions options = ShortTimeout();
  options.KeepLineSettings = true;
  options.DtrEnable = true;
  ASSERT_EQ(port.OpenSerialPort(pty_.path().c_str(), options), kSerialOk);
  ASSERT_EQ(tcgetattr(pty_.slave(), &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B19200));
  EXPECT_EQ(tio.c_cflag & (CSTOPB | HUPCL), static_cast<tcflag_t>(CSTOPB | HUPCL));
  // The variant query's answer ends in a carriage return and must arrive as
  // sent, without echo.
  EXPECT_EQ(port.WriteSerialPort("\x1c"
                                 "c(4)",
                                 5),
            kSerialOk);
  EXPECT_EQ(pty_.Receive(),
            "\x1c"
            "c(4)");
  pty_.Send("4\n\r");
  char buffer[128];
  std::size_t received = 0;
  EXPECT_EQ(port.ReadSerialPort(buffer, sizeof buffer, &received), kSerialOk);
  EXPECT_STREQ(buffer, "4\n");
  EXPECT_EQ(pty_.Receive(50), "");
  EXPECT_EQ(port.CloseSerialPort(), kSerialOk);
}

}  // namespace
}  // namespace stravon
