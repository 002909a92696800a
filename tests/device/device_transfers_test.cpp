// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_transfers.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "device/program_image.h"
#include "tests/device/worker_fixture.h"
#include "tests/support/time_scale.h"

namespace stravon::worker_test {
namespace {

using namespace std::chrono_literals;
using sim::CommandKind;
using sim::Fault;

TEST_F(WorkerTest, ProgramDeviceWritesTheImageAndReadDeviceGivesTheProtocolBack) {
  Connect();
  const TestSequence sample = SampleProtocol();
  front_end_.Clear();
  const FinishedEvent programmed = Program(sample).value();

  EXPECT_EQ(front_end_.Output(), "\nProgramming Device... Success\n");
  EXPECT_EQ(programmed.outcome, Outcome::Of(Operation::kProgramDevice));
  EXPECT_EQ(document_->Protocol(), sample);
  EXPECT_FALSE(document_->Modified());
  DeviceSetTable table{};
  const std::int32_t count = CompileProtocol(sample, test_support::FactorySettings(), table);
  const ProgramImage expected = EncodeProgramImage(table, count);
  const std::vector<std::uint8_t> memory =
      unit_->ReadMemory(kProgramImageAddress, kProgramImageSize);
  EXPECT_TRUE(std::equal(memory.begin(), memory.end(), expected.begin()));
  auto windows = front_end_.ProgressWindows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].text, "Programming Device...");
  EXPECT_EQ(windows[0].advances, 22);
  EXPECT_EQ(windows[0].upper, 22);
  EXPECT_EQ(windows[0].bounds_calls, 1);
  EXPECT_TRUE(windows[0].destroyed);

  document_->Load({});
  front_end_.Clear();
  const FinishedEvent read_back = Run(ReadRequest{});
  EXPECT_EQ(front_end_.Output(), "\nReading Device... Success\n");
  EXPECT_EQ(read_back.outcome, Outcome::Of(Operation::kReadDevice));
  EXPECT_EQ(read_back.image, expected);
  windows = front_end_.ProgressWindows();
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(windows[1].text, "Reading Device...");
  EXPECT_EQ(windows[1].advances, 1408);
  EXPECT_EQ(windows[1].lower, 0);
  EXPECT_EQ(windows[1].upper, 1408);
  EXPECT_EQ(windows[1].bounds_calls, 1);
  EXPECT_TRUE(windows[1].destroyed);

  const TestSequence read = document_->Protocol();
  EXPECT_EQ(stage_.WorkingSequence(), read);
  EXPECT_FALSE(document_->Modified());
  ASSERT_EQ(read.sets.size(), sample.sets.size());
  for (std::size_t i = 0; i < sample.sets.size(); ++i) {
    SCOPED_TRACE(i);
    const TestSet& want = sample.sets[i];
    const TestSet& got = read.sets[i];
    EXPECT_EQ(got.XFunction, want.XFunction);
    EXPECT_EQ(got.XUnits, want.XUnits);
    EXPECT_EQ(got.TimeUnits, want.TimeUnits);
    EXPECT_EQ(got.NumReps, want.NumReps);
    // Magnitudes come back to 0.1 mm, durations to 0.01 of the set's unit.
    EXPECT_NEAR(got.XMagnitude, want.XMagnitude, 0.05 + 1e-9);
    EXPECT_NEAR(got.StretchDurationSec, want.StretchDurationSec, 0.005 + 1e-9);
    EXPECT_NEAR(got.HoldTimeSec, want.HoldTimeSec, 0.005 + 1e-9);
    EXPECT_NEAR(got.RecoveryDurationSec, want.RecoveryDurationSec, 0.005 + 1e-9);
    EXPECT_NEAR(got.RestTimeSec, want.RestTimeSec, 0.005 + 1e-9);
  }
}

TEST_F(WorkerTest, CancellingAReadAfter100BytesLeavesTheProtocol) {
  Connect();
  const TestSequence before = SampleProtocol();
  document_->Load(before);
  unit_->ClearTranscript();
  front_end_.Clear();
  // Each byte read advances once. The cancel reaches the worker while it
  // reads on, so a few more bytes may go.
  front_end_.CancelProgressAfter(100);
  const Outcome outcome = Run(ReadRequest{}).outcome;
  EXPECT_GE(unit_->CommandCount(CommandKind::kReadByte), 100);
  EXPECT_LT(unit_->CommandCount(CommandKind::kReadByte), 1408);
  EXPECT_EQ(front_end_.Output(), "\nReading Device... Cancelled\n");
  EXPECT_EQ(outcome.kind, Outcome::Kind::kCancelled);
  EXPECT_EQ(outcome.step, Outcome::Step::kReadProgram);
  EXPECT_EQ(document_->Protocol(), before);
  EXPECT_EQ(stage_.WorkingSequence(), before);
  EXPECT_TRUE(front_end_.ProgressWindows().at(0).destroyed);
}

TEST_F(WorkerTest, ProgramDeviceWithAnEmptySequenceShowsOnlyTheCommitMessage) {
  Connect();
  unit_->ClearTranscript();
  front_end_.Clear();
  // Refused on the interface thread: nothing is asked of the worker.
  EXPECT_FALSE(Program(TestSequence{}).has_value());
  document_->DrainEvents();
  EXPECT_EQ(unit_->TotalCommands(), 0);
  ASSERT_EQ(front_end_.Calls().size(), 2u);
  EXPECT_EQ(front_end_.Calls()[0], "clear");
  EXPECT_TRUE(front_end_.Calls()[1].starts_with("box ")) << front_end_.Calls()[1];
  EXPECT_EQ(Count<StartedEvent>(), 0);
}

TEST_F(WorkerTest, ProgramDeviceRetriesBusyRepliesAndStopsAtAFailedCommand) {
  struct Case {
    const char* name;
    std::vector<Fault> faults;
    bool success;
    CommandResult failure;
    const char* output;
  };
  const Case cases[] = {
      {"error 97 twice on several commands",
       {Fault::Error(97).For(CommandKind::kPageLoad).Times(2),
        Fault::Error(97).For(CommandKind::kPageLoad).Skip(100).Times(2),
        Fault::Error(97).For(CommandKind::kPageCommit).Skip(7).Times(2)},
       true,
       {},
       "\nProgramming Device... Success\n"},
      {"another error mid-way",
       {Fault::Error(12).For(CommandKind::kPageLoad).Skip(40)},
       false,
       CommandResult::UnitError(12),
       "\nProgramming Device... Failed: the unit answered with error 12\n"
       "The unit now holds no protocol; program it again before running it.\n"},
      {"error 97 three times in a row",
       {Fault::Error(97).For(CommandKind::kPageCommit).Skip(3).Times(3)},
       false,
       CommandResult::UnitError(97),
       "\nProgramming Device... Failed: the unit answered with error 97\n"
       "The unit now holds no protocol; program it again before running it.\n"},
      // Nothing was committed yet, so the unit still holds what it held.
      {"an error before the first commit",
       {Fault::Error(12).For(CommandKind::kPageLoad).Skip(3)},
       false,
       CommandResult::UnitError(12),
       "\nProgramming Device... Failed: the unit answered with error 12\n"},
  };
  Connect();
  const std::vector<std::uint8_t> blank(kProgramImageSize, 0xEE);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(unit_->WriteMemory(kProgramImageAddress, blank));
    for (const Fault& fault : c.faults) unit_->InjectFault(fault);
    front_end_.Clear();
    const FinishedEvent finished = Program(SampleProtocol()).value();
    unit_->ClearFaults();
    EXPECT_EQ(front_end_.Output(), c.output);
    const Outcome& outcome = finished.outcome;
    EXPECT_EQ(outcome.kind, c.success ? Outcome::Kind::kDone : Outcome::Kind::kFailed);
    EXPECT_EQ(outcome.failure, c.failure);
    EXPECT_TRUE(front_end_.ProgressWindows().back().destroyed);
    const ProgramImage image = finished.image.value();
    const bool written = unit_->ReadMemory(kProgramImageAddress, kProgramImageSize) ==
                         std::vector<std::uint8_t>(image.begin(), image.end());
    EXPECT_EQ(written, c.success);
  }
}

// A Program Device that stops part-way must not leave the first pages of the
// new protocol in front of the rest of the old one, which the unit would run:
// the read that follows finds no protocol at all.
TEST_F(WorkerTest, AProgramRunThatDoesNotFinishLeavesNoProtocol) {
  struct Case {
    const char* name;
    std::optional<Fault> fault;
    int cancel_after_advances;  // -1: no cancel
    Outcome::Kind kind;
    const char* line;
  };
  const Case cases[] = {
      {"cancelled after 5 pages", std::nullopt, 5, Outcome::Kind::kCancelled,
       "Programming Device... Cancelled"},
      {"a page fails", Fault::Error(12).For(CommandKind::kPageCommit).Skip(9),
       -1, Outcome::Kind::kFailed, "Programming Device... Failed: the unit answered with error 12"},
      {"the unit falls silent", Fault::Silence().For(CommandKind::kPageLoad).Skip(150).Times(-1),
       -1, Outcome::Kind::kFailed,
       "Programming Device... Failed: the unit did not answer within the time-out (check its "
       "power and cable)"},
  };
  Connect();
  TestSequence old_protocol;
  TestSet sine = SampleProtocol().sets[1];
  for (int i = 0; i < 8; ++i) old_protocol.sets.push_back(sine);  // fills every page
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    front_end_.CancelProgressAfter(-1);
    ASSERT_TRUE(Program(old_protocol).value().outcome.Done());

    if (c.fault) unit_->InjectFault(*c.fault);
    front_end_.CancelProgressAfter(c.cancel_after_advances);
    front_end_.Clear();
    const Outcome programmed = Program(SampleProtocol()).value().outcome;
    unit_->ClearFaults();
    front_end_.CancelProgressAfter(-1);
    EXPECT_EQ(programmed.kind, c.kind);
    EXPECT_TRUE(programmed.program_area_cleared);
    // After the port's own message, when there is one.
    EXPECT_TRUE(front_end_.Output().ends_with("\n" + std::string(c.line) +
                                              "\nThe unit now holds no protocol; program it "
                                              "again before running it.\n"))
        << front_end_.Output();

    front_end_.Clear();
    EXPECT_TRUE(Run(ReadRequest{}).outcome.Done());
    EXPECT_TRUE(document_->Protocol().sets.empty());
    EXPECT_EQ(front_end_.Output(), "\nReading Device... Success\nNo protocol stored in the unit.\n");
  }
}

// A verify that finds other bytes than were written leaves the unit holding
// nothing it would run, and says so loudly: in the pane and in an error box.
TEST_F(WorkerTest, AVerifyThatFailsClearsTheProgramAreaAndShowsAnError) {
  Connect();
  // The unit acknowledges the second page but keeps its fourth byte inverted.
  unit_->InjectFault(Fault::CorruptStore(3).Skip(1));
  front_end_.Clear();
  const Outcome outcome = Program(SampleProtocol(), true).value().outcome;
  EXPECT_EQ(outcome.kind, Outcome::Kind::kFailed);
  EXPECT_EQ(outcome.step, Outcome::Step::kVerify);
  ASSERT_TRUE(outcome.mismatch.has_value());
  EXPECT_EQ(outcome.mismatch->address, 0x6E43u);
  EXPECT_TRUE(outcome.program_area_cleared);
  EXPECT_TRUE(document_->Modified()) << "the unit does not hold the document";
  const std::string line = OutcomeLine(outcome);
  EXPECT_EQ(front_end_.Output(), "\nProgramming Device... Success\n" + line +
                                     "\nThe unit now holds no protocol; program it again before "
                                     "running it.\n");
  ASSERT_EQ(front_end_.Boxes().size(), 1u);
  EXPECT_EQ(front_end_.Boxes()[0].kind, FrontEnd::MessageKind::kError);
  EXPECT_EQ(front_end_.Boxes()[0].text,
            "Error:  " + line +
                "\nThe unit now holds no protocol; program it again before running it.\n");

  front_end_.Clear();
  EXPECT_TRUE(Run(ReadRequest{}).outcome.Done());
  EXPECT_EQ(front_end_.Output(), "\nReading Device... Success\nNo protocol stored in the unit.\n");
}

// Erased memory (all ones) is no protocol, not 8 sets of nonsense.
TEST_F(WorkerTest, AnErasedProgramAreaReadsAsNoProtocol) {
  Connect();
  ASSERT_TRUE(unit_->WriteMemory(kProgramImageAddress,
                                 std::vector<std::uint8_t>(kProgramImageSize, 0xFF)));
  document_->Load(SampleProtocol());
  front_end_.Clear();
  EXPECT_TRUE(Run(ReadRequest{}).outcome.Done());
  EXPECT_TRUE(document_->Protocol().sets.empty());
  EXPECT_EQ(front_end_.Output(), "\nReading Device... Success\nNo protocol stored in the unit.\n");
}

// A failed read says why; "Cancelled" is kept for a cancel.
TEST_F(WorkerTest, AFailedReadNamesItsCause) {
  struct Case {
    const char* name;
    Fault fault;
    const char* line;
  };
  const Case cases[] = {
      {"unit error", Fault::Error(12).For(CommandKind::kReadByte).Skip(20),
       "Reading Device... Failed: the unit answered with error 12"},
      {"silence", Fault::Silence().For(CommandKind::kReadByte).Skip(20).Times(-1),
       "Reading Device... Failed: the unit did not answer within the time-out (check its power "
       "and cable)"},
      {"garbage", Fault::Reply("ZZ\r").For(CommandKind::kReadByte).Skip(20),
       "Reading Device... Failed: the unit's reply was not understood"},
      {"unplugged", Fault::DisconnectAfter(20), "Reading Device... Failed: the unit was unplugged"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    document_.reset();
    Connect();
    unit_->ClearTranscript();
    unit_->InjectFault(c.fault);
    front_end_.Clear();
    EXPECT_EQ(Run(ReadRequest{}).outcome.kind, Outcome::Kind::kFailed);
    // After the port's own message, when there is one.
    EXPECT_TRUE(front_end_.Output().ends_with("\n" + std::string(c.line) + "\n"))
        << front_end_.Output();
    unit_.reset();
    ASSERT_TRUE(tree_.RemovePort(tty_));
  }
}

// The pane is cleared when the unit goes; the failure that its going caused
// stays there until the next operation.
TEST_F(WorkerTest, AFailureStaysInThePaneAfterTheUnitGoes) {
  Connect();
  unit_->InjectFault(Fault::DisconnectAfter(30));
  const Outcome outcome = Program(SampleProtocol()).value().outcome;
  EXPECT_EQ(outcome.kind, Outcome::Kind::kFailed);
  const std::string line = "\n" + OutcomeLine(outcome) + "\n";
  ASSERT_TRUE(WaitUntilConnected(false));
  EXPECT_EQ(front_end_.Calls().back(), "append " + front_end_.Output());
  EXPECT_TRUE(front_end_.Output().starts_with(line)) << front_end_.Output();
  EXPECT_NE(front_end_.Output().find("the unit was unplugged"), std::string::npos);
}

// A cancel does not wait for the unit's time-out: the read waits on the port
// and on the cancel together.
TEST_F(WorkerTest, ACancelEndsAWaitOnASilentUnitAtOnce) {
  StartUnit();
  DeviceSessionOptions options = Options();
  options.read_timeout_ms = 20000;  // the real one
  OpenSession(options);
  ASSERT_TRUE(WaitUntilConnected(true));

  for (const bool close_session : {false, true}) {
    SCOPED_TRACE(close_session ? "closing the session" : "cancel");
    unit_->InjectFault(Fault::Silence().For(CommandKind::kReadByte).Skip(5).Times(-1));
    const Submission read = Session().Submit(ReadRequest{});
    ASSERT_TRUE(read.Accepted());
    ASSERT_TRUE(WaitFor([&] { return unit_->CommandCount(CommandKind::kReadByte) > 5; }));
    std::this_thread::sleep_for(100ms);  // well into the wait
    const auto start = std::chrono::steady_clock::now();
    if (close_session) {
      document_.reset();
    } else {
      ASSERT_TRUE(Session().Submit(CancelRequest{}).Accepted());
      EXPECT_EQ(WaitFinished(read.id).outcome.kind, Outcome::Kind::kCancelled);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, test_support::Scaled(500ms));
    unit_->ClearFaults();
    unit_->ClearTranscript();
  }
}

TEST_F(WorkerTest, ClosingTheSessionCutsATransferShortAndJoinsTheWorker) {
  Connect();
  unit_->ClearTranscript();
  ASSERT_TRUE(Session().Submit(ReadRequest{}).Accepted());
  ASSERT_TRUE(WaitFor([&] { return unit_->CommandCount(CommandKind::kReadByte) > 10; }));
  const auto start = std::chrono::steady_clock::now();
  document_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  // The window's end tells the unit to stop as the worker's last exchange.
  ASSERT_TRUE(WaitForUnit([&] { return unit_->CommandCount(CommandKind::kStop) == 1; }));
  const int sent = unit_->TotalCommands();
  EXPECT_LT(sent, 1408);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(unit_->TotalCommands(), sent);
}

}  // namespace
}  // namespace stravon::worker_test
