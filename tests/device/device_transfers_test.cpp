#include "device/device_transfers.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "device/program_image.h"
#include "tests/device/worker_fixture.h"

namespace stravon::worker_test {
namespace {

using namespace std::chrono_literals;
using sim::CommandKind;
using sim::Fault;

TEST_F(WorkerTest, ProgramDeviceWritesTheImageAndReadDeviceGivesTheProtocolBack) {
  Connect();
  const TestSequence sample = SampleProtocol();
  CommitOnProgram(sample);
  front_end_.Clear();
  Run([&] { session_->RequestProgramDevice(); });

  EXPECT_EQ(front_end_.Output(), "\nProgramming Device... Success\n");
  EXPECT_EQ(session_->LastOutcome(), Outcome::Of(Operation::kProgramDevice));
  DeviceSetTable table{};
  const std::int32_t count = CompileProtocol(sample, test_support::FactorySettings(), table);
  const ProgramImage expected = EncodeProgramImage(table, count);
  const std::vector<std::uint8_t> memory =
      unit_->ReadMemory(kProgramImageAddress, kProgramImageSize);
  EXPECT_TRUE(std::equal(memory.begin(), memory.end(), expected.begin()));
  auto windows = front_end_.ProgressWindows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].text, "Programming Device...");
  EXPECT_EQ(windows[0].advances, 23);
  EXPECT_EQ(windows[0].upper, 22);
  EXPECT_EQ(windows[0].bounds_calls, 1);
  EXPECT_TRUE(windows[0].destroyed);

  session_->SetProtocol({});
  front_end_.Clear();
  Run([&] { session_->RequestReadDevice(); });
  EXPECT_EQ(front_end_.Output(), "\nReading Device... Success\n");
  EXPECT_EQ(session_->LastOutcome(), Outcome::Of(Operation::kReadDevice));
  EXPECT_EQ(session_->LastImage(), expected);
  EXPECT_EQ(front_end_.CountCalls("refresh"), 1);
  windows = front_end_.ProgressWindows();
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(windows[1].text, "Reading Device...");
  EXPECT_EQ(windows[1].advances, 1409);
  EXPECT_EQ(windows[1].lower, 0);
  EXPECT_EQ(windows[1].upper, 1408);
  EXPECT_EQ(windows[1].bounds_calls, 1);
  EXPECT_TRUE(windows[1].destroyed);

  const TestSequence read = session_->Protocol();
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
  session_->SetProtocol(before);
  unit_->ClearTranscript();
  front_end_.Clear();
  // The first advance sets the range; each byte read advances once more.
  front_end_.CancelProgressAfter(101);
  Run([&] { session_->RequestReadDevice(); });
  EXPECT_EQ(unit_->CommandCount(CommandKind::kReadByte), 100);
  EXPECT_EQ(front_end_.Output(), "\nReading Device... Cancelled\n");
  EXPECT_EQ(session_->LastOutcome(), Outcome::Of(Operation::kReadDevice, Outcome::Kind::kCancelled,
                                                 Outcome::Step::kReadProgram));
  EXPECT_EQ(session_->Protocol(), before);
  EXPECT_EQ(front_end_.CountCalls("refresh"), 1);
  EXPECT_TRUE(front_end_.ProgressWindows().at(0).destroyed);
}

TEST_F(WorkerTest, ProgramDeviceWithAnEmptySequenceShowsOnlyTheCommitMessage) {
  Connect();
  unit_->ClearTranscript();
  front_end_.Clear();
  front_end_.SetCommitHandler([this] {
    front_end_.ShowMessageBox(FrontEnd::MessageKind::kWarning, "Stravon",
                              "Please Specify a Test Sequence Before Executing");
    return -1;
  });
  Run([&] { session_->RequestProgramDevice(); });
  EXPECT_EQ(unit_->TotalCommands(), 0);
  EXPECT_EQ(front_end_.Calls(),
            (std::vector<std::string>{"clear", "commit",
                                      "box Please Specify a Test Sequence Before Executing"}));
  EXPECT_EQ(session_->LastOutcome().step, Outcome::Step::kCommit);
  EXPECT_EQ(OutcomeLine(session_->LastOutcome()), "");
}

TEST_F(WorkerTest, ProgramDeviceRetriesBusyRepliesAndStopsAtAFailedCommand) {
  struct Case {
    const char* name;
    std::vector<Fault> faults;
    bool success;
    CommandResult failure;
  };
  const Case cases[] = {
      {"error 97 twice on several commands",
       {Fault::Error(97).For(CommandKind::kPageLoad).Times(2),
        Fault::Error(97).For(CommandKind::kPageLoad).Skip(100).Times(2),
        Fault::Error(97).For(CommandKind::kPageCommit).Skip(7).Times(2)},
       true,
       {}},
      {"another error mid-way",
       {Fault::Error(12).For(CommandKind::kPageLoad).Skip(40)},
       false,
       CommandResult::UnitError(12)},
      {"error 97 three times in a row",
       {Fault::Error(97).For(CommandKind::kPageCommit).Skip(3).Times(3)},
       false,
       CommandResult::UnitError(97)},
  };
  Connect();
  CommitOnProgram(SampleProtocol());
  const std::vector<std::uint8_t> blank(kProgramImageSize, 0xEE);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(unit_->WriteMemory(kProgramImageAddress, blank));
    for (const Fault& fault : c.faults) unit_->InjectFault(fault);
    front_end_.Clear();
    Run([&] { session_->RequestProgramDevice(); });
    unit_->ClearFaults();
    EXPECT_EQ(front_end_.Output(), c.success ? "\nProgramming Device... Success\n"
                                             : "\nProgramming Device... Cancelled\n");
    const Outcome outcome = session_->LastOutcome();
    EXPECT_EQ(outcome.kind, c.success ? Outcome::Kind::kDone : Outcome::Kind::kFailed);
    EXPECT_EQ(outcome.failure, c.failure);
    EXPECT_TRUE(front_end_.ProgressWindows().back().destroyed);
    const ProgramImage image = session_->LastImage();
    const bool written = unit_->ReadMemory(kProgramImageAddress, kProgramImageSize) ==
                         std::vector<std::uint8_t>(image.begin(), image.end());
    EXPECT_EQ(written, c.success);
  }
}

TEST_F(WorkerTest, ClosingTheSessionCutsATransferShortAndJoinsTheWorker) {
  Connect();
  unit_->ClearTranscript();
  session_->RequestReadDevice();
  ASSERT_TRUE(front_end_.WaitFor([&] { return unit_->CommandCount(CommandKind::kReadByte) > 10; }));
  const auto start = std::chrono::steady_clock::now();
  session_.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  const int sent = unit_->TotalCommands();
  EXPECT_LT(sent, 1408);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(unit_->TotalCommands(), sent);
}

}  // namespace
}  // namespace stravon::worker_test
