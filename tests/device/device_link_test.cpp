// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_link.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "device/device_commands.h"
#include "protocol/message_log.h"
#include "sim/simulated_unit.h"
#include "tests/support/time_scale.h"

namespace stravon {
namespace {

using sim::CommandKind;
using sim::Fault;
using Clock = std::chrono::steady_clock;

constexpr int kTimeoutMs = 300;

// Everything the link and its port write to the message log.
class LogCapture {
 public:
  LogCapture() {
    token_ = MessageLog::Obtain().Register([this](const std::string& text) { text_ += text; });
  }
  ~LogCapture() { MessageLog::Obtain().Unregister(token_); }
  const std::string& text() const { return text_; }
  void Clear() { text_.clear(); }

 private:
  std::uint64_t token_ = 0;
  std::string text_;
};

std::vector<std::string> Commands(const sim::SimulatedUnit& unit) {
  std::vector<std::string> commands;
  for (const sim::Exchange& exchange : unit.Transcript()) commands.push_back(exchange.command);
  return commands;
}

class DeviceLinkTest : public ::testing::Test {
 protected:
  explicit DeviceLinkTest(sim::UnitOptions options = {}) : unit_(std::move(options)) {}

  void SetUp() override {
    ASSERT_EQ(unit_.Start(), 0);
    link_.SetPortName(unit_.SlavePath());
    link_.SetReadTimeoutMs(kTimeoutMs);
  }

  // Connects and forgets the identification exchanges.
  void Connect() {
    ASSERT_EQ(link_.ConnectDevice(), 1);
    unit_.ClearTranscript();
    log_.Clear();
  }

  LogCapture log_;
  sim::SimulatedUnit unit_;
  DeviceLink link_;
};

TEST_F(DeviceLinkTest, ErrorRepliesAreRetriedOnlyFor97) {
  struct Case {
    const char* name;
    Fault fault;
    CommandResult expected;
    int sent;
  };
  const Case cases[] = {
      {"97 twice, then a normal reply", Fault::Error(97).Times(2), CommandResult::Ok(), 3},
      {"97 three times", Fault::Error(97).Times(3), CommandResult::UnitError(97), 3},
      {"another error is not retried", Fault::Error(12), CommandResult::UnitError(12), 1},
      {"an error numbered 0 counts as success", Fault::Reply("Error 0\r"), CommandResult::Ok(), 1},
      {"an error without a number counts as success", Fault::Reply("Error\r"), CommandResult::Ok(),
       1},
  };
  Connect();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unit_.ClearTranscript();
    unit_.InjectFault(c.fault.For(CommandKind::kLimits));
    EXPECT_EQ(link_.SendCommand(LimitsOffCommand()), c.expected);
    EXPECT_EQ(unit_.CommandCount(CommandKind::kLimits), c.sent);
    unit_.ClearFaults();
  }
  // The link stays in step with the unit afterwards.
  char reply[4096];
  std::size_t received = 0;
  unit_.SetPosition(-42);
  EXPECT_TRUE(link_.QueryCommand(StatusCommand(), reply, sizeof reply, &received).ok());
  EXPECT_STREQ(reply, "-42");
}

TEST_F(DeviceLinkTest, JogSpeedSendsOnlyWhatChanged) {
  std::vector<std::int32_t> statuses;
  link_.SetStatusCallback([&](std::int32_t position) { statuses.push_back(position); });
  Connect();

  link_.SetJogSpeed(-5);
  EXPECT_EQ(Commands(unit_), (std::vector<std::string>{"0d 1", "0v 64000", "0G"}));
  EXPECT_TRUE(link_.Moving());
  unit_.ClearTranscript();
  link_.SetJogSpeed(-5);
  EXPECT_TRUE(Commands(unit_).empty());
  // A change while moving: the direction only when it flips, never Go again.
  link_.SetJogSpeed(-2);
  EXPECT_EQ(Commands(unit_), (std::vector<std::string>{"0v 512000"}));
  unit_.ClearTranscript();
  link_.SetJogSpeed(3);
  EXPECT_EQ(Commands(unit_), (std::vector<std::string>{"0d 0", "0v 256000"}));
  unit_.ClearTranscript();

  link_.SetJogSpeed(0);
  EXPECT_EQ(Commands(unit_), (std::vector<std::string>{"0S", "0?S"}));
  EXPECT_FALSE(link_.Moving());
  ASSERT_EQ(statuses.size(), 1u);
  EXPECT_EQ(statuses[0], unit_.Position());
  unit_.ClearTranscript();
  link_.SetJogSpeed(0);
  EXPECT_TRUE(Commands(unit_).empty());

  // Closed while jogging (the unit went away): the jog is forgotten without a
  // write to the closed port, and the same speed after reconnecting starts anew.
  link_.SetJogSpeed(4);
  log_.Clear();
  link_.Disconnect();
  EXPECT_FALSE(link_.Moving());
  EXPECT_EQ(link_.JogSpeedCode(), 0);
  EXPECT_EQ(log_.text(), "");
  Connect();
  link_.SetJogSpeed(4);
  EXPECT_EQ(Commands(unit_), (std::vector<std::string>{"0d 0", "0v 128000", "0G"}));
}

TEST_F(DeviceLinkTest, StatusKeepsTheLastPositionWhenTheQueryFails) {
  std::vector<std::int32_t> statuses;
  link_.SetStatusCallback([&](std::int32_t position) { statuses.push_back(position); });
  Connect();
  unit_.SetPosition(123);
  EXPECT_EQ(link_.QueryStatus(), 0);

  // A silent unit: the port times out (logged) and nothing is reported.
  unit_.InjectFault(Fault::Silence().For(CommandKind::kStatus));
  const auto start = Clock::now();
  EXPECT_EQ(link_.QueryStatus(), 0);
  const auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(kTimeoutMs - 10));
  EXPECT_LT(elapsed, test_support::Scaled(std::chrono::milliseconds(kTimeoutMs + 300)));
  EXPECT_EQ(log_.text(), "\nTimed Out Waiting for Response from " + unit_.SlavePath() + "\n");

  // An over-long reply (more than the 4096-byte buffer, no terminator) fails
  // too, and its tail must not be taken for the next reply.
  unit_.InjectFault(Fault::Overlong(5000).For(CommandKind::kStatus));
  EXPECT_EQ(link_.QueryStatus(), 0);
  unit_.SetPosition(-7);
  EXPECT_EQ(link_.QueryStatus(), 0);
  EXPECT_EQ(statuses, (std::vector<std::int32_t>{123, -7}));
}

TEST_F(DeviceLinkTest, ReplyFillingTheBufferFailsTheExchange) {
  Connect();
  unit_.InjectFault(Fault::Reply(std::string(64, '7') + "\r").For(CommandKind::kStatus));
  char reply[64];
  std::size_t received = 0;
  EXPECT_EQ(link_.QueryCommand(StatusCommand(), reply, sizeof reply, &received),
            CommandResult::PortFailure(kSerialBufferFull));
  EXPECT_EQ(received, 64u);
  unit_.SetPosition(5);
  EXPECT_TRUE(link_.QueryCommand(StatusCommand(), reply, sizeof reply, &received).ok());
  EXPECT_STREQ(reply, "5");
}

TEST_F(DeviceLinkTest, PeerClosedMidExchangeFailsAtOnce) {
  link_.SetReadTimeoutMs(5000);
  Connect();
  // The reply starts, then the unit goes away.
  unit_.InjectFault(Fault::Split(2, std::chrono::milliseconds(2000)).For(CommandKind::kStatus));
  unit_.SetPosition(1234);
  std::thread unplug([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    unit_.Disconnect();
  });
  char reply[4096];
  std::size_t received = 0;
  const auto start = Clock::now();
  EXPECT_EQ(link_.QueryCommand(StatusCommand(), reply, sizeof reply, &received),
            CommandResult::PortFailure(kSerialReadFailed));
  unplug.join();
  EXPECT_EQ(received, 2u);
  EXPECT_LT(Clock::now() - start, test_support::Scaled(std::chrono::milliseconds(1000)));
  // Unplugged: every further exchange fails at once as well.
  EXPECT_EQ(link_.SendCommand(StopCommand()).kind, CommandResult::Kind::kPortFailure);
  EXPECT_LT(Clock::now() - start, test_support::Scaled(std::chrono::milliseconds(1000)));
  EXPECT_EQ(link_.Port().CloseSerialPort(), kSerialOk);
}

TEST_F(DeviceLinkTest, PortThatCannotBeOpened) {
  DeviceLink missing;
  missing.SetPortName("/nonexistent/ttyUSB9");
  EXPECT_EQ(missing.ConnectDevice(), -1);
  EXPECT_EQ(log_.text(),
            "Cannot open /nonexistent/ttyUSB9: No such file or directory (error 2).\n");

  Connect();
  DeviceLink second;
  second.SetPortName(unit_.SlavePath());
  EXPECT_EQ(second.ConnectDevice(), -1);
  EXPECT_EQ(unit_.TotalCommands(), 0);
  // Within one process the port's lock cannot tell who holds it; the claim can.
  EXPECT_EQ(second.ConnectOutcome().Why(), Outcome::Cause::kInUseByAnotherWindow);
  link_.Disconnect();
  EXPECT_EQ(second.ConnectDevice(), 1);
}

TEST_F(DeviceLinkTest, ProgramImageIsWrittenPageByPage) {
  std::vector<std::uint8_t> image(1408);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  const auto settings_before = unit_.ReadMemory(sim::kSettingsAddress, sim::kSettingsSize);
  std::vector<std::pair<int, int>> progress;
  link_.SetProgressCallback([&](int position, int range) {
    progress.emplace_back(position, range);
    return 0;
  });
  Connect();

  EXPECT_TRUE(link_.WriteProgramImage(image).Done());
  // 22 pages of 17 commands, and the first page once more before them.
  EXPECT_EQ(unit_.TotalCommands(), 391);
  EXPECT_EQ(unit_.CommandCount(CommandKind::kPageCommit), 23);
  ASSERT_EQ(progress.size(), 23u);
  EXPECT_EQ(progress.front(), std::make_pair(0, 22));
  for (int page = 0; page < 22; ++page) {
    EXPECT_EQ(progress[static_cast<std::size_t>(page) + 1], std::make_pair(page, 0));
  }
  EXPECT_EQ(unit_.ReadMemory(sim::kProgramAddress, sim::kProgramSize), image);
  EXPECT_EQ(unit_.ReadMemory(sim::kSettingsAddress, sim::kSettingsSize), settings_before);
  // The first page goes out with no set in use, then the pages after it,
  // and the real first page last.
  const auto transcript = unit_.Transcript();
  EXPECT_EQ(transcript[0].command, "0F10000000000");
  EXPECT_EQ(transcript[16].command, "0F26E00");
  EXPECT_EQ(transcript[33].command, "0F26E40");
  EXPECT_EQ(transcript[373].command, "0F27340");
  EXPECT_EQ(transcript[374].command, "0F100030A1118");
  EXPECT_EQ(transcript[390].command, "0F26E00");

  // Reading back, byte by byte.
  for (std::uint16_t i : {0, 1, 700, 1407}) {
    std::uint8_t byte = 0;
    EXPECT_TRUE(link_.ReadByte(static_cast<std::uint16_t>(sim::kProgramAddress + i), &byte).ok());
    EXPECT_EQ(byte, image[i]) << i;
  }
}

TEST_F(DeviceLinkTest, ProgramImageStopsOnCancelOrFailure) {
  Connect();
  std::vector<std::uint8_t> image(1408, 0x5A);
  link_.SetProgressCallback(
      [](int position, int range) { return range == 0 && position == 2 ? -1 : 0; });
  Outcome cleared =
      Outcome::Of(Operation::kNone, Outcome::Kind::kCancelled, Outcome::Step::kWriteProgram);
  cleared.program_area_cleared = true;
  EXPECT_EQ(link_.WriteProgramImage(image), cleared);
  EXPECT_EQ(unit_.CommandCount(CommandKind::kPageCommit), 4);

  unit_.ClearTranscript();
  link_.SetProgressCallback(nullptr);
  unit_.InjectFault(Fault::Error(12).For(CommandKind::kPageLoad).Skip(20));
  cleared = Outcome::Of(Operation::kNone, Outcome::Kind::kFailed, Outcome::Step::kWriteProgram,
                        CommandResult::UnitError(12));
  cleared.program_area_cleared = true;
  EXPECT_EQ(link_.WriteProgramImage(image), cleared);
  EXPECT_EQ(unit_.CommandCount(CommandKind::kPageLoad), 21);
  EXPECT_EQ(unit_.CommandCount(CommandKind::kPageCommit), 1);

  // A failure before the first commit leaves the old protocol as it was.
  unit_.ClearTranscript();
  unit_.InjectFault(Fault::Error(12).For(CommandKind::kPageLoad).Skip(5));
  EXPECT_EQ(link_.WriteProgramImage(image),
            Outcome::Of(Operation::kNone, Outcome::Kind::kFailed, Outcome::Step::kWriteProgram,
                        CommandResult::UnitError(12)));
  EXPECT_EQ(unit_.CommandCount(CommandKind::kPageCommit), 0);

  // Less than a page writes nothing and succeeds.
  unit_.ClearTranscript();
  EXPECT_TRUE(link_.WriteProgramImage(std::span(image).first(63)).Done());
  EXPECT_EQ(unit_.TotalCommands(), 0);
}

TEST_F(DeviceLinkTest, ByteReadOfAGarbledReply) {
  Connect();
  // Read as a byte it would be 0 and pass unnoticed into an image.
  unit_.InjectFault(Fault::Reply("XY\r").For(CommandKind::kReadByte));
  std::uint8_t byte = 0xEE;
  EXPECT_EQ(link_.ReadByte(sim::kProgramAddress, &byte), CommandResult::BadReply());
  EXPECT_EQ(byte, 0);
  unit_.InjectFault(Fault::Silence().For(CommandKind::kReadByte));
  EXPECT_EQ(link_.ReadByte(sim::kProgramAddress, &byte),
            CommandResult::PortFailure(kSerialReadTimedOut));
}

struct IdentificationCase {
  const char* name;
  const char* entry2;
  std::int32_t software;
  std::int32_t revision;
  const char* warning;  // nullptr: no message box
};

class IdentificationTest : public ::testing::TestWithParam<IdentificationCase> {};

TEST_P(IdentificationTest, SetsRevisionAndSoftwareAndWarnsAboutOldFirmware) {
  const IdentificationCase& c = GetParam();
  sim::UnitOptions options;
  options.identification2 = c.entry2;
  sim::SimulatedUnit unit(options);
  ASSERT_EQ(unit.Start(), 0);
  LogCapture log;
  DeviceLink link;
  link.SetPortName(unit.SlavePath());
  link.SetReadTimeoutMs(kTimeoutMs);

  EXPECT_EQ(link.ConnectDevice(), 1);
  EXPECT_EQ(unit.CommandCount(CommandKind::kIdentify), 8);
  EXPECT_EQ(link.SoftwareNumber(), c.software);
  EXPECT_EQ(link.FirmwareRevision(), c.revision);
  ASSERT_EQ(link.Identification().size(), 4u);
  EXPECT_EQ(link.Identification()[2], c.entry2);
  const auto& id = link.Identification();
  EXPECT_EQ(log.text(), "\n" + id[0] + "\t\n" + id[2] + "\t" + id[3] + "\nSoftware Version 1.53\n");
  EXPECT_EQ(link.RequiredFirmware(), c.warning == nullptr ? "" : c.warning);
  EXPECT_EQ(link.Port().CloseSerialPort(), kSerialOk);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, IdentificationTest,
    ::testing::Values(IdentificationCase{"old_74051", "SW#74051 REV 0.9", 74051, 900, "1.0"},
                      IdentificationCase{"neither", "MODEL P1", 74050, 1300, "4.0"},
                      IdentificationCase{"current_74050", "SW#74050 REV 4.1", 74050, 4100, nullptr},
                      IdentificationCase{"lower_case", "sw#74051 rev 1.25", 74051, 1250, nullptr},
                      IdentificationCase{"other_software", "SW#80000 REV 0.1", 80000, 100, nullptr},
                      IdentificationCase{"revision_width", "REV  12345678912", 74050, 1234567000,
                                         nullptr}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(DeviceLinkTest, FailedIdentificationQueryRepeatsThePreviousEntry) {
  unit_.InjectFault(Fault::Silence().For(CommandKind::kIdentify).Skip(5));
  ASSERT_EQ(link_.ConnectDevice(), 1);
  const auto& id = link_.Identification();
  ASSERT_EQ(id.size(), 4u);
  EXPECT_EQ(id[1], id[0]);
  EXPECT_NE(id[2], id[0]);
}

// A unit that does not identify itself fails the connection with the true
// cause; it is never taken for one with old firmware. One lost wake-up reply
// is forgiven.
TEST(IdentificationFaultTest, NamesTheCauseAndWarnsOnlyOfAReportedFirmware) {
  const struct {
    const char* name;
    Fault fault;
    Outcome::Cause cause;  // kNone: connects
  } cases[] = {
      {"one lost wake-up reply", Fault::Silence().For(CommandKind::kIdentify),
       Outcome::Cause::kNone},
      {"two lost wake-up replies", Fault::Silence().For(CommandKind::kIdentify).Times(2),
       Outcome::Cause::kNoAnswer},
      {"entry 2 refused", Fault::Error(12).For(CommandKind::kIdentify).Skip(6),
       Outcome::Cause::kNone},
      {"every entry refused", Fault::Error(12).For(CommandKind::kIdentify).Times(-1),
       Outcome::Cause::kUnitError},
      {"garbled", Fault::Overlong(600).For(CommandKind::kIdentify).Times(-1),
       Outcome::Cause::kBadReply},
      {"unplugged", Fault::DisconnectAfter(5).For(CommandKind::kIdentify),
       Outcome::Cause::kUnplugged},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // A current firmware: a warning could only come from the defaults.
    sim::UnitOptions options;
    options.identification2 = "SW#74050 REV 4.1";
    sim::SimulatedUnit unit(options);
    ASSERT_EQ(unit.Start(), 0);
    unit.InjectFault(c.fault);
    DeviceLink link;
    link.SetPortName(unit.SlavePath());
    link.SetReadTimeoutMs(kTimeoutMs);
    const bool connects = c.cause == Outcome::Cause::kNone;
    EXPECT_EQ(link.ConnectDevice(), connects ? 1 : -1);
    EXPECT_EQ(link.RequiredFirmware(), "");
    if (connects) {
      EXPECT_EQ(link.Identification().size(), 4u);
      EXPECT_EQ(link.Port().CloseSerialPort(), kSerialOk);
    } else {
      EXPECT_EQ(link.ConnectOutcome().step, Outcome::Step::kIdentify);
      EXPECT_EQ(link.ConnectOutcome().Why(), c.cause);
    }
  }
}

}  // namespace
}  // namespace stravon
