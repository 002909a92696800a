// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulated_unit.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/time_scale.h"

namespace stravon::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The program's side of the line: raw bytes over the slave device.
class Port {
 public:
  explicit Port(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
  ~Port() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  void Send(const std::string& bytes) {
    ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // Bytes up to and including the first carriage return, or what arrived
  // before `timeout` passed between two bytes.
  std::string ReadReply(std::chrono::milliseconds timeout = 1000ms) {
    std::string reply;
    char c = 0;
    while (reply.empty() || reply.back() != '\r') {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) break;
      if (read(fd_, &c, 1) != 1) break;
      reply += c;
    }
    return reply;
  }

  std::string Exchange(const std::string& command) {
    Send(command);
    return ReadReply();
  }

 private:
  int fd_;
};

class SimulatedUnitTest : public ::testing::Test {
 protected:
  void StartUnit(UnitOptions options = {}) {
    unit_ = std::make_unique<SimulatedUnit>(std::move(options));
    ASSERT_EQ(unit_->Start(), 0);
    port_ = std::make_unique<Port>(unit_->SlavePath());
    ASSERT_TRUE(port_->ok());
  }

  std::unique_ptr<SimulatedUnit> unit_;
  std::unique_ptr<Port> port_;
};

TEST_F(SimulatedUnitTest, PageLoadsCommitAndReadBack) {
  StartUnit();
  // Sixteen loads fill the page buffer; the commit puts it at the address.
  for (int offset = 0; offset < 64; offset += 4) {
    char command[32];
    std::snprintf(command, sizeof command, "0F1%02X%02X%02X%02X%02X\r", offset, offset, offset + 1,
                  offset + 2, 0xF0 + offset / 4);
    ASSERT_EQ(port_->Exchange(command), "OK\r") << command;
  }
  ASSERT_EQ(port_->Exchange("0F26E40\r"), "OK\r");
  EXPECT_EQ(port_->Exchange("0F36E40\r"), "00\r");
  EXPECT_EQ(port_->Exchange("0F36E43\r"), "F0\r");
  EXPECT_EQ(port_->Exchange("0F36E7F\r"), "FF\r");
  EXPECT_EQ(port_->Exchange("0F36E3F\r"), "00\r");  // the page before is untouched
  EXPECT_EQ(port_->Exchange("0F37380\r"), "A9\r");  // factory-fresh settings block
  const auto memory = unit_->ReadMemory(0x6E40, 64);
  ASSERT_EQ(memory.size(), 64u);
  EXPECT_EQ(memory[60], 60);
  EXPECT_EQ(memory[63], 0xFF);
  EXPECT_EQ(unit_->CommandCount(CommandKind::kPageLoad), 16);
  EXPECT_EQ(unit_->CommandCount(CommandKind::kReadByte), 5);
}

TEST_F(SimulatedUnitTest, UnprogrammedUnitHasZeroSettings) {
  UnitOptions options;
  options.unprogrammed = true;
  StartUnit(options);
  EXPECT_EQ(port_->Exchange("0F37380\r"), "00\r");
  EXPECT_EQ(port_->Exchange("0F37388\r"), "00\r");
}

TEST_F(SimulatedUnitTest, AnswersEveryCommandByItsFormat) {
  UnitOptions options;
  options.software_number = "74051";
  options.firmware_revision = "0.9";
  options.variant_answers = {{4, "6"}, {6, "2"}};
  StartUnit(options);
  struct Case {
    std::string command;
    std::string reply;
  };
  const Case cases[] = {
      {"0?R 2\r", "SW#74051 REV 0.9\r"},
      {"0?R 4\r", "Error 21\r"},
      {"0?S\r", "0\r"},
      {"0?h\r", "0\r"},
      {"0d 1\r", "OK\r"},
      {"0d 2\r", "Error 21\r"},
      {"0v 64000\r", "OK\r"},
      {"0v 0\r", "Error 21\r"},
      {"0P 1 -415 2052\r", "OK\r"},
      {"0P 0 0 0\r", "OK\r"},
      {"0P 1 5\r", "Error 21\r"},
      {"0M 12x\r", "Error 21\r"},
      {"0F13C01020304\r", "OK\r"},
      {"0F14001020304\r", "Error 22\r"},  // a load must stay inside the page
      {"0F1000102\r", "Error 21\r"},
      {"0F20000\r", "Error 22\r"},
      {"0F273C0\r", "Error 22\r"},  // the page would run past the settings block
      {"0F373BF\r", "76\r"},        // last byte of the offset position 630
      {"0F373C0\r", "Error 22\r"},
      {"0F3ZZZZ\r", "Error 21\r"},
      {"\r", "Error 20\r"},
      {"0X\r", "Error 20\r"},
      {"hello\r\n", "Error 20\r"},
      {std::string("\0\xff\x1b[A", 5) + "\r", "Error 20\r"},
      {"\x1c"
       "c(4)",
       "6\r"},  // variant queries have no terminator
      {"\x1c"
       "c(6)",
       "2\r"},
      {"\x1c"
       "c(9)",
       "0\r"},
      {"\x1c"
       "cx\r",
       "Error 20\r"},
  };
  for (const Case& c : cases) EXPECT_EQ(port_->Exchange(c.command), c.reply) << c.command;
  for (int index = 0; index < 4; ++index) {
    const std::string reply = port_->Exchange("0?R " + std::to_string(index) + "\r");
    EXPECT_GT(reply.size(), 1u);
    EXPECT_EQ(reply.find('\r'), reply.size() - 1);
  }
}

TEST_F(SimulatedUnitTest, OverlongLineIsRefusedAndTheNextCommandServed) {
  StartUnit();
  EXPECT_EQ(port_->Exchange(std::string(100000, '7') + "\r"), "Error 20\r");
  EXPECT_EQ(port_->Exchange("0?S\r"), "0\r");
}

TEST_F(SimulatedUnitTest, SurvivesRandomInputAndServesTheNextCommand) {
  StartUnit();
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  // Bias towards the bytes the parser cares about.
  const std::string specials =
      "\r\n\x1c"
      "c()0123456789F?SRdvMP ";
  for (int round = 0; round < 200; ++round) {
    std::string chunk(random() % 300, '\0');
    for (char& c : chunk) {
      c = random() % 2 ? specials[random() % specials.size()] : static_cast<char>(random());
    }
    port_->Send(chunk);
    while (!port_->ReadReply(0ms).empty()) {
    }
  }
  while (!port_->ReadReply(200ms).empty()) {
  }
  // The carriage return ends whatever line the input left open.
  EXPECT_FALSE(port_->Exchange("\r").empty());
  EXPECT_EQ(port_->Exchange("0?R 3\r"), "READY\r");
}

TEST_F(SimulatedUnitTest, InjectedFaultsFollowTheirScope) {
  StartUnit();
  unit_->InjectFault(Fault::Error(97).Times(2).For(CommandKind::kStatus));
  unit_->InjectFault(Fault::Error(12).Skip(1).For(CommandKind::kStop));
  EXPECT_EQ(port_->Exchange("0?h\r"), "0\r");  // other kinds pass
  EXPECT_EQ(port_->Exchange("0?S\r"), "Error 97\r");
  EXPECT_EQ(port_->Exchange("0?S\r"), "Error 97\r");
  EXPECT_EQ(port_->Exchange("0?S\r"), "0\r");
  EXPECT_EQ(port_->Exchange("0S\r"), "OK\r");
  EXPECT_EQ(port_->Exchange("0S\r"), "Error 12\r");
  EXPECT_EQ(port_->Exchange("0S\r"), "OK\r");

  unit_->InjectFault(Fault::Reply("G7\r").For(CommandKind::kReadByte));
  EXPECT_EQ(port_->Exchange("0F36E00\r"), "G7\r");
  unit_->InjectFault(Fault::Overlong(300));
  port_->Send("0?S\r");
  EXPECT_EQ(port_->ReadReply(100ms), std::string(300, 'X'));

  unit_->InjectFault(Fault::Silence());
  port_->Send("0?S\r");
  EXPECT_EQ(port_->ReadReply(100ms), "");
  EXPECT_EQ(port_->Exchange("0?S\r"), "0\r");

  const auto transcript = unit_->Transcript();
  ASSERT_EQ(transcript.size(), 11u);
  EXPECT_EQ(transcript[1].command, "0?S");
  EXPECT_EQ(transcript[1].reply, "Error 97\r");
  EXPECT_EQ(transcript[9].reply, "");
}

TEST_F(SimulatedUnitTest, CorruptStoreChangesOneByteOfOneCommittedPage) {
  StartUnit();
  unit_->InjectFault(Fault::CorruptStore(5).Skip(1));
  // Three commits of the same zero page: only the second is stored wrongly,
  // and every one is answered OK.
  for (const char* address : {"6E00", "6E40", "6E80"}) {
    ASSERT_EQ(port_->Exchange(std::string("0F2") + address + "\r"), "OK\r") << address;
  }
  const auto memory = unit_->ReadMemory(0x6E00, 3 * 64);
  for (std::size_t i = 0; i < memory.size(); ++i) {
    EXPECT_EQ(memory[i], i == 64 + 5 ? 0xFF : 0x00) << "byte " << i;
  }
}

TEST_F(SimulatedUnitTest, SplitReplyArrivesInDelayedPieces) {
  StartUnit();
  unit_->InjectFault(Fault::Split(4, 30ms));
  const auto start = Clock::now();
  port_->Send("0?R 2\r");
  const std::string reply = port_->ReadReply();
  EXPECT_EQ(reply, "SW#74050 REV 4.1\r");
  // 17 bytes in pieces of 4: five pieces, four gaps.
  EXPECT_GE(Clock::now() - start, 120ms);
}

TEST_F(SimulatedUnitTest, DisconnectFailsTheProgramsReadAtOnceAndReconnectServesAgain) {
  std::atomic<bool> told{false};
  UnitOptions options;
  options.on_disconnected = [&] { told = true; };
  StartUnit(options);
  unit_->InjectFault(Fault::DisconnectAfter(1));
  EXPECT_EQ(port_->Exchange("0?S\r"), "0\r");
  port_->Send("0?S\r");
  const auto start = Clock::now();
  pollfd p{port_->fd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  EXPECT_NE(p.revents & (POLLHUP | POLLERR), 0);
  char c = 0;
  const ssize_t n = read(port_->fd(), &c, 1);
  EXPECT_TRUE(n == 0 || (n < 0 && errno == EIO)) << n;
  EXPECT_LT(Clock::now() - start, test_support::Scaled(500ms));
  EXPECT_FALSE(unit_->IsConnected());
  for (int i = 0; i < 100 && !told; ++i) std::this_thread::sleep_for(5ms);  // told after closing
  EXPECT_TRUE(told);

  ASSERT_EQ(unit_->Reconnect(), 0);
  Port again(unit_->SlavePath());
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(again.Exchange("0F37380\r"), "A9\r");

  // An unplug from the controlling side looks the same to the program.
  unit_->Disconnect();
  EXPECT_EQ(write(again.fd(), "0?S\r", 4), -1);
  EXPECT_EQ(again.ReadReply(500ms), "");
}

// Motion over the line; the model's own tests follow it in detail.
TEST_F(SimulatedUnitTest, MoveReachesItsTarget) {
  UnitOptions options;
  options.motion_speed = 100.0;
  StartUnit(options);
  ASSERT_EQ(port_->Exchange("0M -3000\r"), "OK\r");
  EXPECT_TRUE(unit_->IsMoving());
  const auto deadline = Clock::now() + 5s;
  while (unit_->IsMoving() && Clock::now() < deadline) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(port_->Exchange("0?S\r"), "-3000\r");
  EXPECT_EQ(port_->Exchange("0?h\r"), "0\r");
  unit_->SetPosition(12);
  EXPECT_EQ(unit_->Position(), 12);
}

TEST_F(SimulatedUnitTest, MemoryFileIsSavedOnCommitAndLoadedAtStart) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("stravon-sim-test-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  UnitOptions options;
  options.memory_file = (dir / "memory.bin").string();
  StartUnit(options);
  ASSERT_EQ(port_->Exchange("0F100DEADBEEF\r"), "OK\r");
  ASSERT_EQ(port_->Exchange("0F26E00\r"), "OK\r");
  EXPECT_EQ(std::filesystem::file_size(options.memory_file), kMemorySize);

  SimulatedUnit second(options);
  ASSERT_EQ(second.Start(), 0);
  EXPECT_EQ(second.ReadMemory(0x6E00, 4), (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
  EXPECT_EQ(second.ReadMemory(0x7380, 1), (std::vector<std::uint8_t>{0xA9}));
  second.Stop();

  std::filesystem::resize_file(options.memory_file, 10);
  SimulatedUnit broken(options);
  EXPECT_EQ(broken.Start(), EINVAL);
  std::filesystem::remove_all(dir);
}

TEST_F(SimulatedUnitTest, PacingHoldsRepliesForTheirWireTime) {
  UnitOptions options;
  options.pacing_baud = 9600;
  StartUnit(options);
  const auto start = Clock::now();
  EXPECT_EQ(port_->Exchange("0?R 2\r"), "SW#74050 REV 4.1\r");
  // 6 + 17 bytes at 10 bits each: 24 ms at 9600 baud.
  EXPECT_GE(Clock::now() - start, 23ms);
}

}  // namespace
}  // namespace stravon::sim
