// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_worker.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "device/device_commands.h"
#include "protocol/number_text.h"
#include "tests/device/worker_fixture.h"
#include "tests/support/time_scale.h"

namespace stravon::worker_test {
namespace {

using namespace std::chrono_literals;
using sim::CommandKind;
using sim::Fault;
using Clock = std::chrono::steady_clock;

const char* const kNotProgrammedMessage =
    "It Appears that the\nStravon hardware settings\nHave Not Been Programmed\n\n"
    "Please see user manual for Instructions\nOn Hardware Programming\n";

// Passes of a held jog and of the position poll after it repeat as long as
// the code stays, so their number depends on timing: each run of equal
// passes (a block of one to three commands that starts with the Limits
// command) is kept once.
// A command as the unit receives it, without its terminator.
std::string Wire(std::string command) {
  if (command.ends_with('\r')) command.pop_back();
  return command;
}

std::vector<std::string> FoldRepeatedPasses(std::vector<std::string> lines) {
  std::vector<std::string> folded;
  for (const std::string& line : lines) {
    folded.push_back(line);
    for (std::size_t length = 1; length <= 3; ++length) {
      const std::size_t n = folded.size();
      if (n < 2 * length) continue;
      const auto block = folded.begin() + static_cast<std::ptrdiff_t>(n - length);
      const auto before = block - static_cast<std::ptrdiff_t>(length);
      if (!before->starts_with(Wire(LimitsOffCommand()).substr(0, 2))) continue;
      if (std::equal(before, block, block)) {
        folded.resize(n - length);
        break;
      }
    }
  }
  return folded;
}

TEST_F(WorkerTest, ConnectsIdentifiesAndReadsTheSettings) {
  Connect();
  EXPECT_TRUE(WaitForOutput("Stravon Model P1-1\n"));
  EXPECT_EQ(front_end_.Output(),
            "\nSIMULATED CONTROL UNIT\t\nSW#74050 REV 4.1\tREADY\nSoftware Version 1.53\n"
            "Stravon Model P1-1\n");
  EXPECT_TRUE(document_->SettingsRead());
  EXPECT_EQ(document_->Settings(), test_support::FactorySettings());
  EXPECT_EQ(document_->Unit()->series_index, 0);
  EXPECT_TRUE(document_->Unit()->settings_outcome.Done());
  const UnitIdentification identification = document_->Unit()->identification;
  EXPECT_EQ(identification.entries.size(), 4u);
  EXPECT_EQ(identification.firmware_revision, 4100);
  EXPECT_EQ(identification.software_number, 74050);
  EXPECT_EQ(unit_->CommandCount(CommandKind::kIdentify), 8);
  EXPECT_EQ(unit_->CommandCount(CommandKind::kReadByte), 64);
  // The status query after connecting shows the offset: (630 + 0 - 315) * 0.003175.
  EXPECT_TRUE(WaitFor([&] { return OffsetField() == "1.00"; }));
  EXPECT_EQ(Count<ConnectedEvent>(), 1);
  EXPECT_EQ(Count<ConnectionFailedEvent>(), 0);
  EXPECT_TRUE(front_end_.Boxes().empty());
}

TEST_F(WorkerTest, TheSeriesNameGivesTheModelLineAndTheSeriesIndex) {
  struct Case {
    std::array<char, 4> series;
    std::int32_t model;
    const char* line;
    int index;
  };
  const Case cases[] = {
      {{'R', 0, 0, 0}, 6, "Stravon Model R-6\n", 1},
      {{'W', '2', 0, 0}, 3, "Stravon Model W2-3\n", 2},
      // Any other first letter keeps the index; four letters have no zero after them.
      {{'X', 'Y', 'Z', 'Q'}, 1, "Stravon Model XYZQ-1\n", 0},
  };
  StartUnit();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    HardwareSettings settings = test_support::FactorySettings();
    settings.SeriesName = c.series;
    settings.ModelNumber = c.model;
    const SettingsBlock block = EncodeSettingsBlock(settings);
    ASSERT_TRUE(unit_->WriteMemory(kSettingsBlockAddress, block));
    front_end_.Clear();
    OpenSession();
    ASSERT_TRUE(WaitUntilConnected(true));
    EXPECT_TRUE(front_end_.Output().ends_with(std::string("\n") + c.line)) << front_end_.Output();
    EXPECT_EQ(document_->Unit()->series_index, c.index);
    EXPECT_EQ(document_->Settings(), settings);
    document_.reset();
  }
}

TEST_F(WorkerTest, AnIdleConnectedWorkerLeavesTheUnitAlone) {
  Connect();
  ASSERT_TRUE(WaitFor([&] { return !OffsetField().empty(); }));
  const int before = unit_->TotalCommands();
  std::this_thread::sleep_for(1500ms);  // spans a connection check
  EXPECT_EQ(unit_->TotalCommands(), before);
  EXPECT_TRUE(document_->Connected());
}

TEST_F(WorkerTest, AnUnprogrammedUnitBringsTheMessageAndChangesNothing) {
  sim::UnitOptions options;
  options.unprogrammed = true;
  Connect(options);
  ASSERT_TRUE(WaitFor([&] { return !front_end_.Boxes().empty(); }));
  const auto boxes = front_end_.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, FrontEnd::MessageKind::kError);
  EXPECT_EQ(boxes[0].text, kNotProgrammedMessage);
  EXPECT_FALSE(document_->SettingsRead());
  EXPECT_EQ(document_->Settings(), HardwareSettings{});
  EXPECT_EQ(front_end_.Output().find("Stravon Model"), std::string::npos);
  EXPECT_EQ(document_->Unit()->settings_outcome.step, Outcome::Step::kCheckSettings);

  // Read Device, a move and a jog are refused at once while the settings are
  // unread; settings may still be programmed.
  unit_->ClearTranscript();
  for (const Request& request : {Request(ReadRequest{}), Request(MoveRequest{100}),
                                 Request(JogRequest{JogDirection::kPlus})}) {
    EXPECT_EQ(Session().Submit(request).refusal, Refusal::kSettingsNotRead);
  }
  EXPECT_EQ(unit_->TotalCommands(), 0);
  EXPECT_TRUE(Run(ProgramSettingsRequest{test_support::FactorySettings()}).outcome.Done());
  EXPECT_TRUE(document_->SettingsRead());
}

TEST_F(WorkerTest, UnplugIsNoticedAndAReplugConnectsAgainAfterAPartialSettingsRead) {
  // The first settings read stops at byte 16: the block is refused, not
  // taken with zeros in place of the unread bytes.
  sim::UnitOptions options;
  StartUnit(options);
  unit_->InjectFault(Fault::Silence().For(CommandKind::kReadByte).Skip(16));
  OpenSession();
  ASSERT_TRUE(WaitUntilConnected(true));
  EXPECT_TRUE(WaitForOutput(
      "\nReading Hardware Settings... Failure: the unit did not answer within the time-out "
      "(check its power and cable)\n"));
  EXPECT_EQ(document_->Unit()->settings_outcome,
            Outcome::Of(Operation::kNone, Outcome::Kind::kFailed, Outcome::Step::kReadSettings,
                        CommandResult::PortFailure(kSerialReadTimedOut)));
  EXPECT_FALSE(document_->SettingsRead());
  EXPECT_EQ(document_->Settings(), HardwareSettings{});
  EXPECT_TRUE(front_end_.Boxes().empty());

  const auto unplugged = Clock::now();
  Unplug();
  ASSERT_TRUE(WaitUntilConnected(false));
  EXPECT_LT(Clock::now() - unplugged, 2500ms);
  EXPECT_EQ(Last<DisconnectedEvent>()->cause, Outcome::Cause::kUnplugged);
  EXPECT_EQ(front_end_.Calls().back(), "clear");
  EXPECT_EQ(front_end_.Output(), "");
  EXPECT_FALSE(document_->SettingsRead());

  unit_->ClearTranscript();
  ASSERT_EQ(unit_->Reconnect(), 0);
  PlugIn();
  ASSERT_TRUE(WaitUntilConnected(true));
  // A new terminal: the old port was closed, or this one would not be opened.
  EXPECT_EQ(unit_->CommandCount(CommandKind::kIdentify), 8);
  EXPECT_EQ(unit_->CommandCount(CommandKind::kReadByte), 64);
  EXPECT_TRUE(WaitForOutput("Stravon Model P1-1\n"));
  EXPECT_TRUE(document_->SettingsRead());
  EXPECT_EQ(document_->Settings(), test_support::FactorySettings());
}

TEST_F(WorkerTest, EndingStopsTheActuatorOnlyWhenAUnitIsConnected) {
  // Without a unit there is nothing to stop, and no failed write to report.
  OpenSession();
  Session().StopWorkerAndMotion();
  document_->DrainEvents();
  EXPECT_EQ(front_end_.Output().find("Cannot write to"), std::string::npos);

  Connect();
  Session().StopWorkerAndMotion();
  // Written before the worker ended; the unit may still be reading it.
  const auto deadline = Clock::now() + kWait;
  while (unit_->CommandCount(CommandKind::kStop) == 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_FALSE(Commands(*unit_).empty());
  EXPECT_EQ(Commands(*unit_).back(), "0S");
}

TEST_F(WorkerTest, JogSendsLimitsOnEveryPassAndPollsAfterRelease) {
  Connect();
  ASSERT_TRUE(WaitFor([&] { return !OffsetField().empty(); }));
  unit_->ClearTranscript();
  ASSERT_TRUE(Session().Submit(JogRequest{JogDirection::kPlus}).Accepted());
  ASSERT_TRUE(WaitFor([&] { return unit_->CommandCount(CommandKind::kLimits) >= 3; }));
  // A one-shot waits for the jog's end; a confirmation needs a jog.
  EXPECT_EQ(Session().Submit(ReadRequest{}).refusal, Refusal::kBusy);
  const Submission stop = Session().Submit(JogStopRequest{});
  ASSERT_TRUE(stop.Accepted());
  EXPECT_EQ(Session().Submit(JogConfirmation{}).refusal, Refusal::kNothingToStop);
  ASSERT_TRUE(WaitFor([&] { return Count<JogStoppedEvent>() == 1; }));
  EXPECT_EQ(Last<JogStoppedEvent>()->request, stop.id);
  ASSERT_TRUE(WaitFor([&] { return unit_->CommandCount(CommandKind::kQueryH) >= 3; }));
  // Any one-shot ends the polling after the stop.
  Run(MoveRequest{unit_->Position()});
  std::this_thread::sleep_for(2 * kRepeatInterval);

  const std::string limits_on = Wire(LimitsOnCommand(-415, 2052));
  const std::vector<std::string> expected = {
      limits_on,
      Wire(DirectionCommand(1)),
      Wire(SpeedCommand(JogSpeedValue(-5))),
      Wire(GoCommand()),
      limits_on,  // the repeated passes of the held button, folded
      Wire(StopCommand()),
      Wire(StatusCommand()),
      Wire(LimitsOffCommand()),
      Wire(QueryHCommand()),
      Wire(StatusCommand()),
  };
  std::vector<std::string> commands = Commands(*unit_);
  // The move's own exchanges (its target, its readings) at the end.
  while (!commands.empty() && commands.back() != Wire(StatusCommand())) commands.pop_back();
  const auto move =
      std::find(commands.begin(), commands.end(), Wire(MoveCommand(unit_->Position())));
  commands.erase(move, commands.end());
  EXPECT_EQ(FoldRepeatedPasses(commands), expected);
  EXPECT_EQ(unit_->CommandCount(CommandKind::kStop), 1);
  EXPECT_EQ(unit_->CommandCount(CommandKind::kGo), 1);
}

TEST_F(WorkerTest, MoveWaitsForTheTargetOrForAUnitThatStoppedShort) {
  struct Case {
    const char* name;
    std::int32_t start;
    std::int32_t target;
    bool stops_short;
    int status_queries;  // 0: at least two, depending on how fast the unit is
  };
  const Case cases[] = {
      {"already at the target", 250, 250, false, 2},
      {"the target is reached", 0, 400, false, 0},
      {"five equal readings end the wait", 0, 500, true, 7},
  };
  sim::UnitOptions options;
  options.motion_speed = 5.0;  // 400 steps in 40 ms
  Connect(options);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    unit_->SetPosition(c.start);
    if (c.stops_short)
      unit_->InjectFault(Fault::Reply("100\r").For(CommandKind::kStatus).Times(-1));
    unit_->ClearTranscript();
    const Outcome outcome = Run(MoveRequest{c.target}).outcome;
    unit_->ClearFaults();
    const auto commands = Commands(*unit_);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.front(), Wire(MoveCommand(c.target)));
    const int statuses = unit_->CommandCount(CommandKind::kStatus);
    EXPECT_EQ(statuses + 1, static_cast<int>(commands.size()));
    if (c.status_queries > 0) {
      EXPECT_EQ(statuses, c.status_queries);
    } else {
      EXPECT_GE(statuses, 2);
    }
    EXPECT_EQ(outcome.operation, Operation::kMove);
    EXPECT_EQ(outcome.kind, c.stops_short ? Outcome::Kind::kFailed : Outcome::Kind::kDone);
    EXPECT_EQ(outcome.step, c.stops_short ? Outcome::Step::kReachTarget : Outcome::Step::kNone);
    if (!c.stops_short) {
      EXPECT_EQ(unit_->Position(), c.target);
      EXPECT_EQ(OffsetField(),
                FormatFixed(test_support::FactorySettings().OffsetShown(c.target), 2));
    }
  }
}

// A cancelled move ends once the unit took the stop and is at rest; a stop
// it refuses fails the move, and the window's error box says that it may
// still be moving. A jog's refused stop brings the same box.
TEST_F(WorkerTest, AStopCountsOnlyOnceTheUnitTookItAndCameToRest) {
  sim::UnitOptions options;
  options.move_steps_per_second = 50.0;
  Connect(options);
  const std::string kMayStillMove = "Error:  The unit may still be moving: its Stop command failed";
  for (const bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "stop refused" : "stop taken");
    unit_->SetPosition(0);
    unit_->ClearTranscript();
    front_end_.Clear();
    if (refused) unit_->InjectFault(Fault::Error(12).For(CommandKind::kStop).Times(-1));
    const Submission move = document_->Move(2000);
    ASSERT_TRUE(move.Accepted());
    ASSERT_TRUE(WaitFor([&] { return unit_->CommandCount(CommandKind::kMove) > 0; }));
    ASSERT_TRUE(Session().Submit(CancelRequest{}).Accepted());
    ASSERT_TRUE(WaitFor([&] {
      const std::optional<FinishedEvent> finished = Last<FinishedEvent>();
      return finished && finished->request == move.id;
    }));
    const Outcome outcome = Last<FinishedEvent>()->outcome;
    unit_->ClearFaults();
    if (refused) {
      EXPECT_EQ(outcome.kind, Outcome::Kind::kFailed);
      EXPECT_EQ(outcome.step, Outcome::Step::kStop);
      ASSERT_EQ(front_end_.BoxTexts().size(), 1u);
      EXPECT_TRUE(front_end_.BoxTexts()[0].starts_with(kMayStillMove)) << front_end_.BoxTexts()[0];
    } else {
      EXPECT_EQ(outcome.kind, Outcome::Kind::kCancelled);
      EXPECT_FALSE(unit_->IsMoving());
      EXPECT_TRUE(front_end_.BoxTexts().empty());
    }
  }

  front_end_.Clear();
  unit_->ClearTranscript();
  unit_->InjectFault(Fault::Error(12).For(CommandKind::kStop).Times(-1));
  ASSERT_TRUE(Session().Submit(JogRequest{JogDirection::kPlus}).Accepted());
  ASSERT_TRUE(WaitFor([&] { return unit_->CommandCount(CommandKind::kGo) > 0; }));
  ASSERT_TRUE(Session().Submit(JogStopRequest{}).Accepted());
  ASSERT_TRUE(WaitFor([&] { return !front_end_.BoxTexts().empty(); }));
  EXPECT_TRUE(front_end_.BoxTexts()[0].starts_with(kMayStillMove)) << front_end_.BoxTexts()[0];
  EXPECT_EQ(unit_->CommandCount(CommandKind::kStop), 3);
  EXPECT_EQ(Count<JogStoppedEvent>(), 1);
  EXPECT_EQ(Last<JogStoppedEvent>()->step, Outcome::Step::kStop);
  unit_->ClearFaults();
}

TEST_F(WorkerTest, ProgrammingHardwareSettingsSendsSixteenLoadsAndOneCommit) {
  Connect();
  ASSERT_TRUE(WaitFor([&] { return OffsetField() == "1.00"; }));
  HardwareSettings settings = test_support::FactorySettings();
  settings.OffsetPosition = 800;
  settings.ModelNumber = 6;
  settings.SeriesName = {'R', 0, 0, 0};

  // A time-out half-way changes nothing.
  unit_->InjectFault(Fault::Silence().For(CommandKind::kPageLoad).Skip(5));
  unit_->ClearTranscript();
  front_end_.Clear();
  const Outcome failed = Run(ProgramSettingsRequest{settings}).outcome;
  unit_->ClearFaults();
  // After the port's own time-out message.
  EXPECT_TRUE(front_end_.Output().ends_with(
      "\nProgramming Hardware Settings... Failure: the unit did not answer within the time-out "
      "(check its power and cable)\n"))
      << front_end_.Output();
  EXPECT_EQ(unit_->CommandCount(CommandKind::kPageLoad), 6);
  EXPECT_EQ(unit_->CommandCount(CommandKind::kPageCommit), 0);
  EXPECT_EQ(failed, Outcome::Of(Operation::kProgramHardwareSettings, Outcome::Kind::kFailed,
                                Outcome::Step::kWriteSettings,
                                CommandResult::PortFailure(kSerialReadTimedOut)));
  EXPECT_EQ(document_->Settings(), test_support::FactorySettings());
  EXPECT_EQ(OffsetField(), "1.00");
  EXPECT_EQ(Count<SettingsChangedEvent>(), 0);

  unit_->ClearTranscript();
  front_end_.Clear();
  EXPECT_EQ(Run(ProgramSettingsRequest{settings}).outcome,
            Outcome::Of(Operation::kProgramHardwareSettings));
  EXPECT_EQ(front_end_.Output(), "\nProgramming Hardware Settings... Success\n");
  const SettingsBlock block = EncodeSettingsBlock(settings);
  std::vector<std::string> expected;
  for (int offset = 0; offset < 64; offset += 4) {
    expected.push_back(
        Wire(PageLoadCommand(offset, std::span<const std::uint8_t, 4>(block.data() + offset, 4))));
  }
  expected.push_back(Wire(PageCommitCommand(0x7380)));
  // Read back before it counts.
  for (std::uint16_t address = 0x7380; address < 0x7380 + 64; ++address) {
    expected.push_back(Wire(ReadByteCommand(address)));
  }
  expected.push_back(Wire(StatusCommand()));
  EXPECT_EQ(Commands(*unit_), expected);
  const auto memory = unit_->ReadMemory(0x7380, 64);
  EXPECT_TRUE(std::equal(memory.begin(), memory.end(), block.begin()));
  EXPECT_EQ(document_->Settings(), settings);
  // The series index follows only a read.
  EXPECT_EQ(document_->Unit()->series_index, 0);
  EXPECT_EQ(Count<SettingsChangedEvent>(), 1);
  // (800 + 0 - 315) * 0.003175
  EXPECT_EQ(OffsetField(), "1.54");
}

// A commit the unit acknowledges but stores wrongly: the read-back names the
// field, the error box says so, the session takes what the unit holds, and
// a move or jog from an offset position beyond the stroke is refused.
TEST_F(WorkerTest, SettingsStoredWronglyFailAndLeaveNoMoveAllowed) {
  Connect();
  ASSERT_TRUE(WaitFor([&] { return OffsetField() == "1.00"; }));
  const HardwareSettings settings = test_support::FactorySettings();
  // Byte 60 is the offset position's highest byte.
  unit_->InjectFault(Fault::CorruptStore(60));
  front_end_.Clear();
  const Outcome outcome = Run(ProgramSettingsRequest{settings}).outcome;
  EXPECT_EQ(outcome.kind, Outcome::Kind::kFailed);
  EXPECT_EQ(outcome.step, Outcome::Step::kVerifySettings);
  ASSERT_TRUE(outcome.settings_mismatch.has_value());
  HardwareSettings held = settings;
  held.OffsetPosition = static_cast<std::int32_t>(settings.OffsetPosition ^ 0xFF000000u);
  EXPECT_EQ(outcome.settings_mismatch->read, held);
  EXPECT_EQ(DifferingFields(settings, held), std::vector{SettingsField::kOffsetPosition});
  const std::string line =
      "Programming Hardware Settings... Failure: the unit holds other settings than were "
      "written: offset position " +
      std::to_string(held.OffsetPosition) + " steps (" + std::to_string(settings.OffsetPosition) +
      " steps written)";
  EXPECT_NE(front_end_.Output().find(line), std::string::npos) << front_end_.Output();
  EXPECT_EQ(front_end_.CountCalls("box Error:  " + line), 1);
  EXPECT_EQ(document_->Settings(), held);

  unit_->ClearTranscript();
  for (const Request& motion : {Request(MoveRequest{100}), Request(JogRequest{})}) {
    EXPECT_EQ(Session().Submit(motion).refusal, Refusal::kOffsetBeyondStroke);
  }
  EXPECT_EQ(unit_->TotalCommands(), 0);
}

// Where the expected transcript lives; set STRAVON_UPDATE_GOLDEN=1 to write
// it from the current run instead of comparing (then review the diff).
std::string GoldenPath() { return std::string(STRAVON_TEST_DATA_DIR) + "/worker_session.txt"; }

std::string Escape(const std::string& text) {
  std::string escaped;
  for (char c : text) escaped += c == '\r' ? std::string("\\r") : std::string(1, c);
  return escaped;
}

// The interface confirms a held jog button; when the confirmations stop (a
// frozen interface, a lost release) the worker stops the jog by itself.
TEST_F(WorkerTest, AJogThatIsNoLongerConfirmedStopsByItself) {
  // Wide enough that a slow build does not miss a confirmation.
  jog_confirm_limit_ = test_support::Scaled(300ms);
  Connect();
  unit_->ClearTranscript();
  const Submission jog = Session().Submit(JogRequest{JogDirection::kPlus});
  ASSERT_TRUE(jog.Accepted());
  // Confirmed for a while, the jog keeps going.
  const Clock::time_point confirmed_until = Clock::now() + 800ms;
  while (Clock::now() < confirmed_until) {
    EXPECT_TRUE(Session().Submit(JogConfirmation{}).Accepted());
    std::this_thread::sleep_for(kJogConfirmInterval);
  }
  EXPECT_EQ(unit_->CommandCount(CommandKind::kStop), 0);

  const Clock::time_point last_confirm = Clock::now();
  ASSERT_TRUE(WaitFor([&] { return unit_->CommandCount(CommandKind::kStop) == 1; }));
  EXPECT_LT(Clock::now() - last_confirm,
            jog_confirm_limit_ + test_support::Scaled(2 * kRepeatInterval + 200ms));
  ASSERT_TRUE(WaitFor([&] { return Count<JogStoppedEvent>() == 1; }));
  EXPECT_EQ(Last<JogStoppedEvent>()->request, jog.id);
}

// Nothing goes on over a port that was not taken: the session stays not
// connected, says once why, and connects as soon as the port is free.
TEST_F(WorkerTest, APortHeldByAnotherSessionIsReportedOnceAndTakenWhenFreed) {
  Connect();
  // The second window: its own session, whose events this test reads itself.
  DeviceSession second(Options());
  second.StartWorker();
  const auto next = [&second](Clock::duration timeout) {
    return second.Events().WaitPop(Clock::now() + timeout);
  };
  std::optional<SessionEvent> event = next(kWait);
  ASSERT_TRUE(event.has_value());
  const auto* failed = std::get_if<ConnectionFailedEvent>(&*event);
  ASSERT_NE(failed, nullptr);
  EXPECT_EQ(failed->outcome.Why(), Outcome::Cause::kInUseByAnotherWindow);
  EXPECT_EQ(failed->port, tree_.DevRoot() + "/" + tty_);
  // Said once, though the worker tries again every second.
  EXPECT_FALSE(next(test_support::Scaled(2500ms)).has_value());
  EXPECT_FALSE(second.Connected());

  const Clock::time_point closed = Clock::now();
  document_.reset();
  for (event = next(kWait); event && !std::holds_alternative<ConnectedEvent>(*event);
       event = next(kWait)) {
  }
  ASSERT_TRUE(event.has_value());
  EXPECT_TRUE(second.Connected());
  EXPECT_LT(Clock::now() - closed, test_support::Scaled(2500ms));
}

TEST_F(WorkerTest, APortHeldByAnotherProgramIsReportedAndTakenWhenFreed) {
  StartUnit();
  const std::string node = tree_.DevRoot() + "/" + tty_;
  int release[2];
  ASSERT_EQ(pipe(release), 0);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Only async-signal-safe calls here: hold the port's lock until the
    // parent closes its end of the pipe.
    close(release[1]);
    close(ready[0]);
    const int fd = open(node.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) _exit(1);
    char byte = 1;
    if (write(ready[1], &byte, 1) != 1) _exit(1);
    while (read(release[0], &byte, 1) < 0) {
    }
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  close(ready[0]);

  OpenSession();
  const std::string line =
      "Error:  Cannot connect to the unit on " + node + ": the port is in use by another program.";
  EXPECT_TRUE(WaitForOutput(line));
  EXPECT_FALSE(document_->Connected());
  EXPECT_EQ(front_end_.Output().find("Cannot write to"), std::string::npos);
  EXPECT_EQ(unit_->TotalCommands(), 0);

  close(release[1]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WaitUntilConnected(true));
}

TEST_F(WorkerTest, AConnectionThatFailsNamesItsCause) {
  struct Case {
    const char* name;
    bool silent_unit;  // else the port is a regular file
    Outcome::Cause cause;
    const char* text;  // after the path
  };
  const Case cases[] = {
      {"not a terminal", false, Outcome::Cause::kNotATerminal,
       "Error:  Cannot connect to the unit on PATH: it is not a serial port."},
      {"silent unit", true, Outcome::Cause::kNoAnswer,
       "Error:  The unit on PATH does not answer; check that it is powered on and its cable is "
       "connected."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    document_.reset();
    events_.clear();
    front_end_.Clear();
    DeviceSessionOptions options = Options();
    std::string path;
    if (c.silent_unit) {
      StartUnit();
      unit_->InjectFault(Fault::Silence().Times(-1));
      path = tree_.DevRoot() + "/" + tty_;
    } else {
      path = tree_.Root() + "/not-a-port";
      std::ofstream(path) << "x";
      options.port_override = path;
    }
    const Clock::time_point start = Clock::now();
    OpenSession(options);
    ASSERT_TRUE(WaitFor([&] { return Count<ConnectionFailedEvent>() == 1; }));
    // Two time-outs (one lost wake-up reply is forgiven), not one for every
    // identification query.
    EXPECT_LT(Clock::now() - start,
              test_support::Scaled(std::chrono::milliseconds(2 * kReadTimeoutMs + 700)));
    EXPECT_FALSE(document_->Connected());
    EXPECT_EQ(Last<ConnectionFailedEvent>()->outcome.Why(), c.cause);
    std::string text = c.text;
    text.replace(text.find("PATH"), 4, path);
    EXPECT_TRUE(WaitForOutput(text));
    EXPECT_TRUE(front_end_.Boxes().empty());  // no firmware warning from defaults
    if (c.silent_unit) {
      EXPECT_EQ(unit_->CommandCount(CommandKind::kIdentify), 2);
      document_.reset();
      unit_.reset();
      ASSERT_TRUE(tree_.RemovePort(tty_));
    }
  }
}

// Program Device writes the first page twice: first with no set in use, last
// with its real contents (see DeviceLink::WriteProgramImage), so the
// transcript holds one more page than the image.
TEST_F(WorkerTest, AWholeSessionSendsWhatTheGoldenTranscriptHolds) {
  sim::UnitOptions options;
  options.motion_speed = 1e6;  // motions end at once, so positions do not depend on timing
  Connect(options);
  ASSERT_TRUE(WaitForOutput("Stravon Model"));

  Run(ProgramRequest{SampleProtocol(), test_support::FactorySettings(), false});
  Run(ReadRequest{});
  HardwareSettings settings = test_support::FactorySettings();
  settings.OffsetPosition = 640;
  settings.ModelNumber = 2;
  Run(ProgramSettingsRequest{settings});

  ASSERT_TRUE(Session().Submit(JogRequest{JogDirection::kMinus}).Accepted());
  ASSERT_TRUE(WaitFor([&] {
    return unit_->CommandCount(CommandKind::kGo) == 1 &&
           unit_->CommandCount(CommandKind::kLimits) >= 2;
  }));
  ASSERT_TRUE(Session().Submit(JogStopRequest{}).Accepted());
  ASSERT_TRUE(WaitFor([&] { return unit_->CommandCount(CommandKind::kQueryH) >= 2; }));
  Run(MoveRequest{100});
  // The session alone ends without a word to the unit (a window's end adds a stop).
  Session().StopWorker();
  document_.reset();

  std::ostringstream text;
  std::vector<std::string> lines;
  for (const sim::Exchange& exchange : unit_->Transcript()) {
    lines.push_back(exchange.command + " -> " + Escape(exchange.reply));
  }
  for (const std::string& line : FoldRepeatedPasses(lines)) text << line << '\n';

  if (std::getenv("STRAVON_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(GoldenPath(), std::ios::binary) << text.str();
    GTEST_SKIP() << "wrote " << GoldenPath();
  }
  std::ifstream in(GoldenPath(), std::ios::binary);
  ASSERT_TRUE(in) << GoldenPath();
  std::ostringstream expected;
  expected << in.rdbuf();
  EXPECT_EQ(text.str(), expected.str());
}

}  // namespace
}  // namespace stravon::worker_test
