// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_session.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "device/device_worker.h"
#include "protocol/message_log.h"
#include "tests/device/worker_fixture.h"
#include "tests/support/time_scale.h"

namespace stravon::worker_test {
namespace {

using namespace std::chrono_literals;
using sim::CommandKind;
using sim::Fault;

// Roots where detection finds nothing, so that a worker stays disconnected.
DeviceSessionOptions NowhereOptions() {
  DeviceSessionOptions options;
  options.roots = {"/nonexistent/sysfs", "/nonexistent/dev"};
  return options;
}

// An event as a short word, for tables; a run of progress events of one
// phase is one word.
std::string Word(const SessionEvent& event) {
  if (const auto* e = std::get_if<StartedEvent>(&event)) {
    return "started " + std::to_string(static_cast<int>(e->operation));
  }
  if (const auto* e = std::get_if<ProgressEvent>(&event)) {
    const char* phases[] = {"reading", "programming", "verifying"};
    return std::string("progress ") + phases[static_cast<int>(e->phase)];
  }
  if (const auto* e = std::get_if<FinishedEvent>(&event)) {
    const char* kinds[] = {"done", "cancelled", "failed", "not connected"};
    return std::string("finished ") + kinds[static_cast<int>(e->outcome.kind)];
  }
  if (std::holds_alternative<SettingsChangedEvent>(event)) return "settings";
  if (std::holds_alternative<PositionEvent>(event)) return "position";
  if (std::holds_alternative<JogStoppedEvent>(event)) return "jog stopped";
  if (std::holds_alternative<DisconnectedEvent>(event)) return "disconnected";
  if (std::holds_alternative<ConnectedEvent>(event)) return "connected";
  if (std::holds_alternative<ConnectionFailedEvent>(event)) return "connection failed";
  if (std::holds_alternative<OutputEvent>(event)) return "output";
  return "notice";
}

// Reads a raw session's events on the test thread.
class SessionEventsTest : public WorkerTest {
 protected:
  void OpenRaw() {
    raw_ = std::make_unique<DeviceSession>(Options());
    raw_->StartWorker();
    // Connected, then the position read on connecting.
    ASSERT_TRUE(Until([](const SessionEvent& e) { return std::holds_alternative<PositionEvent>(e); }));
    words_.clear();
  }

  // Reads events until `done` holds for one; false on time-out.
  template <typename Done>
  bool Until(Done done, std::chrono::milliseconds timeout = kWait) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (std::optional<SessionEvent> event = raw_->Events().WaitPop(deadline)) {
      const std::string word = Word(*event);
      if (word != "output" && (words_.empty() || words_.back() != word)) words_.push_back(word);
      last_ = *event;
      if (done(*event)) return true;
    }
    return false;
  }
  std::vector<std::string> RunRaw(Request request, std::chrono::milliseconds timeout = kWait) {
    words_.clear();
    const Submission submission = raw_->Submit(std::move(request));
    EXPECT_TRUE(submission.Accepted());
    EXPECT_TRUE(Until(
        [&](const SessionEvent& e) {
          const auto* f = std::get_if<FinishedEvent>(&e);
          return f != nullptr && f->request == submission.id;
        },
        timeout));
    return words_;
  }

  std::unique_ptr<DeviceSession> raw_;
  std::vector<std::string> words_;
  SessionEvent last_;
};

TEST_F(SessionEventsTest, EachRequestGivesItsEventsInOrder) {
  struct Case {
    const char* name;
    std::optional<Fault> fault;
    int cancel_after_bytes;  // 0: none
    Request request;
    std::vector<std::string> events;
  };
  HardwareSettings moved = test_support::FactorySettings();
  moved.OffsetPosition = 640;
  const Case cases[] = {
      {"read", std::nullopt, 0, ReadRequest{},
       {"started 1", "progress reading", "finished done"}},
      {"read, the unit stops answering", Fault::Silence().For(CommandKind::kReadByte).Skip(10),
       0, ReadRequest{}, {"started 1", "progress reading", "finished failed"}},
      {"read, an error reply", Fault::Error(12).For(CommandKind::kReadByte).Skip(3), 0,
       ReadRequest{}, {"started 1", "progress reading", "finished failed"}},
      {"read, cancelled", std::nullopt, 100, ReadRequest{},
       {"started 1", "progress reading", "finished cancelled"}},
      {"program and verify", std::nullopt, 0,
       ProgramRequest{SampleProtocol(), test_support::FactorySettings(), true},
       {"started 2", "progress programming", "progress verifying", "finished done"}},
      {"program, a failed page", Fault::Error(12).For(CommandKind::kPageCommit).Skip(2), 0,
       ProgramRequest{SampleProtocol(), test_support::FactorySettings(), false},
       {"started 2", "progress programming", "finished failed"}},
      {"settings", std::nullopt, 0, ProgramSettingsRequest{moved},
       {"started 8", "settings", "position", "finished done"}},
      {"settings, no answer", Fault::Silence().For(CommandKind::kPageLoad), 0,
       ProgramSettingsRequest{moved}, {"started 8", "finished failed"}},
      {"move", std::nullopt, 0, MoveRequest{400}, {"started 6", "position", "finished done"}},
  };
  sim::UnitOptions options;
  options.motion_speed = 1e6;
  StartUnit(options);
  OpenRaw();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.fault) unit_->InjectFault(*c.fault);
    std::vector<std::string> words;
    if (c.cancel_after_bytes > 0) {
      words_.clear();
      const Submission submission = raw_->Submit(c.request);
      ASSERT_TRUE(submission.Accepted());
      ASSERT_TRUE(Until([&](const SessionEvent& e) {
        const auto* p = std::get_if<ProgressEvent>(&e);
        return p != nullptr && p->done == c.cancel_after_bytes;
      }));
      EXPECT_TRUE(raw_->Submit(CancelRequest{}).Accepted());
      ASSERT_TRUE(Until([](const SessionEvent& e) { return std::holds_alternative<FinishedEvent>(e); }));
      words = words_;
    } else {
      words = RunRaw(c.request);
    }
    unit_->ClearFaults();
    EXPECT_EQ(words, c.events);
  }
}

TEST_F(SessionEventsTest, ARequestThatCannotStartIsRefusedAtOnceAndNothingIsReplaced) {
  DeviceSession idle(NowhereOptions());
  EXPECT_EQ(idle.Submit(ReadRequest{}).refusal, Refusal::kNotRunning);
  idle.StartWorker();
  for (const Request& request :
       {Request(ReadRequest{}), Request(MoveRequest{1}), Request(JogRequest{}),
        Request(ProgramRequest{}), Request(ProgramSettingsRequest{})}) {
    EXPECT_EQ(idle.Submit(request).refusal, Refusal::kNotConnected);
  }
  EXPECT_EQ(idle.Submit(JogStopRequest{}).refusal, Refusal::kNothingToStop);
  EXPECT_TRUE(idle.Submit(CancelRequest{}).Accepted());

  // A slow read holds the unit: what comes meanwhile is refused, and the
  // read goes on to its end.
  StartUnit();
  OpenRaw();
  const Submission read = raw_->Submit(ReadRequest{});
  ASSERT_TRUE(read.Accepted());
  for (const Request& request :
       {Request(ReadRequest{}), Request(MoveRequest{1}), Request(JogRequest{}),
        Request(ProgramSettingsRequest{test_support::FactorySettings()})}) {
    EXPECT_EQ(raw_->Submit(request).refusal, Refusal::kBusy);
  }
  ASSERT_TRUE(Until([](const SessionEvent& e) { return std::holds_alternative<FinishedEvent>(e); }));
  const auto& finished = std::get<FinishedEvent>(last_);
  EXPECT_EQ(finished.request, read.id);
  EXPECT_TRUE(finished.outcome.Done());
  EXPECT_GT(read.id, 0u);
}

TEST_F(SessionEventsTest, AQuickUnplugAndReplugEndsConnectedOnTheNewPortWithNoWriteToTheOld) {
  StartUnit();
  OpenRaw();
  // The cable out and in again within a fraction of a second: a new terminal
  // on another node, found before the next connection check.
  auto old_unit = std::move(unit_);
  const std::string old_tty = tty_;
  old_unit->Disconnect();
  ASSERT_TRUE(tree_.RemovePort(old_tty));
  StartUnit();
  ASSERT_TRUE(Until([](const SessionEvent& e) { return std::holds_alternative<ConnectedEvent>(e); },
                    test_support::Scaled(3000ms)));
  EXPECT_EQ(words_, (std::vector<std::string>{"disconnected", "connected"}));
  EXPECT_EQ(raw_->Unit()->port, tree_.DevRoot() + "/" + tty_);
  const int old_commands = old_unit->TotalCommands();
  EXPECT_TRUE(RunRaw(ReadRequest{}).back() == "finished done");
  EXPECT_EQ(old_unit->TotalCommands(), old_commands);
}

TEST_F(SessionEventsTest, APortInUseGivesOneConnectionFailedEventOverTenSeconds) {
  StartUnit();
  DeviceSession holder(Options());
  holder.StartWorker();
  while (!holder.Connected()) std::this_thread::sleep_for(10ms);
  raw_ = std::make_unique<DeviceSession>(Options());
  raw_->StartWorker();
  int failures = 0;
  Until(
      [&](const SessionEvent& e) {
        failures += std::holds_alternative<ConnectionFailedEvent>(e) ? 1 : 0;
        return false;
      },
      10s);
  EXPECT_EQ(failures, 1);
  EXPECT_FALSE(raw_->Connected());
}

TEST(DeviceSession, OnlyTheFirstSessionIsTheLogSinkAndItsRegistrationGoesWithIt) {
  ASSERT_FALSE(MessageLog::Obtain().HasSink());
  auto first = std::make_unique<DeviceSession>(NowhereOptions());
  DeviceSession second(NowhereOptions());

  MessageLog::Obtain().Log("Cannot read from /dev/ttyACM0: Input/output error (error 5).\n");
  const std::optional<SessionEvent> line = first->Events().TryPop();
  ASSERT_TRUE(line.has_value());
  EXPECT_EQ(std::get<OutputEvent>(*line).text, "Cannot read from /dev/ttyACM0: Input/output error (error 5).\n");
  EXPECT_FALSE(second.Events().TryPop().has_value());

  first.reset();
  EXPECT_FALSE(MessageLog::Obtain().HasSink());
  MessageLog::Obtain().Log("after the first session\n");  // reaches standard output only
  EXPECT_FALSE(second.Events().TryPop().has_value());

  // A session created later takes the free place.
  DeviceSession third(NowhereOptions());
  MessageLog::Obtain().Log("x\n");
  EXPECT_TRUE(third.Events().TryPop().has_value());
}

TEST(DeviceSession, ClosingStopsAnIdleWorkerAtOnce) {
  auto session = std::make_unique<DeviceSession>(NowhereOptions());
  session->StartWorker();
  session->StartWorker();  // a second start changes nothing
  EXPECT_TRUE(session->WorkerRunning());
  std::this_thread::sleep_for(50ms);
  const auto start = std::chrono::steady_clock::now();
  session.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, test_support::Scaled(200ms));
}

TEST(JogLimits, RunFromTheMarginBelowTheMinimumSizeToTheMarginBeyondTheSoftLimit) {
  struct Case {
    float pitch;
    float soft_limit;
    std::int32_t offset_position;
    JogLimits expected;
  };
  const Case cases[] = {
      {0.003175f, 7.2f, 630, {-415, 2052}},
      {0.003175f, 7.2f, 315, {-100, 2367}},
      {0.01f, 43.0f, 0, {215, 4715}},
      // Settings that were never read must not turn into undefined behaviour.
      {0.0f, 0.0f, 0, {215, 0}},
  };
  for (const Case& c : cases) {
    HardwareSettings settings;
    settings.MotorPitch = c.pitch;
    settings.TravelSoftLimit = c.soft_limit;
    settings.OffsetPosition = c.offset_position;
    const JogLimits limits = ComputeJogLimits(settings, kHomePosition, DeviceSession::kLimitMargin);
    EXPECT_EQ(limits.lower, c.expected.lower) << c.pitch << " " << c.offset_position;
    EXPECT_EQ(limits.upper, c.expected.upper) << c.pitch << " " << c.offset_position;
  }
}

}  // namespace
}  // namespace stravon::worker_test
