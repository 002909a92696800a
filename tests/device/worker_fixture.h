// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "device/device_session.h"
#include "device/session_event.h"
#include "device/hardware_settings.h"
#include "protocol/test_sequence.h"
#include "sim/fixture_tree.h"
#include "sim/simulated_unit.h"
#include "tests/support/recording_front_end.h"
#include "tests/support/test_settings.h"
#include "ui/document.h"
#include "ui/stage_model.h"

namespace stravon::worker_test {

inline constexpr int kReadTimeoutMs = 300;
inline constexpr std::chrono::seconds kWait{10};

inline std::vector<std::string> Commands(const sim::SimulatedUnit& unit) {
  std::vector<std::string> commands;
  for (const sim::Exchange& exchange : unit.Transcript()) commands.push_back(exchange.command);
  return commands;
}

// One set of each function and a set in minutes, with lengths the unit can run.
inline TestSequence SampleProtocol() {
  TestSequence sequence;
  TestSet ramp;
  ramp.XFunction = ControlFunction::Ramp;
  ramp.XUnits = MeasureUnit::Millimetre;
  ramp.XMagnitude = 2.5;
  ramp.StretchDurationSec = 4.0;
  ramp.HoldTimeSec = 1.5;
  ramp.RecoveryDurationSec = 3.0;
  ramp.RestTimeSec = 2.25;
  ramp.NumReps = 3;
  sequence.sets.push_back(ramp);
  TestSet sine;
  sine.XFunction = ControlFunction::Sinusoid;
  sine.XUnits = MeasureUnit::Millimetre;
  sine.XMagnitude = 1.0;
  sine.StretchDurationSec = 1.0;
  sine.RecoveryDurationSec = 1.0;
  sine.NumReps = 10;
  sequence.sets.push_back(sine);
  TestSet slow = ramp;
  slow.TimeUnits = TimeUnit::Minutes;
  slow.XMagnitude = 0.7;
  slow.StretchDurationSec = 0.5;
  slow.HoldTimeSec = 0.25;
  slow.RecoveryDurationSec = 0.0;
  slow.RestTimeSec = 1.0;
  slow.NumReps = 2;
  sequence.sets.push_back(slow);
  return sequence;
}

// A simulated unit in a fixture tree, and a document whose session's worker
// finds the unit there. The test thread carries the session's events out
// (rendering them into the recording front end and the stage) while it
// waits, as a front end's interface thread would.
class WorkerTest : public ::testing::Test, private Document::Listener {
 protected:
  using Clock = std::chrono::steady_clock;

  void TearDown() override { document_.reset(); }

  void StartUnit(sim::UnitOptions options = {}) {
    unit_ = std::make_unique<sim::SimulatedUnit>(std::move(options));
    ASSERT_EQ(unit_->Start(), 0);
    PlugIn();
  }

  void PlugIn() {
    ASSERT_TRUE(tree_.ok());
    tty_ = tree_.AddUsbPort(sim::UnitIdentity(), unit_->SlavePath());
    ASSERT_FALSE(tty_.empty());
  }

  // The line closes and the port disappears from sysfs, as when the cable is pulled.
  void Unplug() {
    unit_->Disconnect();
    ASSERT_TRUE(tree_.RemovePort(tty_));
  }

  DeviceSessionOptions Options() const {
    DeviceSessionOptions options;
    options.roots = {tree_.SysfsRoot(), tree_.DevRoot()};
    options.read_timeout_ms = kReadTimeoutMs;
    options.jog_confirm_limit = jog_confirm_limit_;
    return options;
  }

  void OpenSession(DeviceSessionOptions options) {
    document_ = std::make_unique<Document>(front_end_, stage_, std::move(options));
    document_->SetListener(this);
    document_->Session().StartWorker();
  }
  void OpenSession() { OpenSession(Options()); }

  DeviceSession& Session() { return document_->Session(); }

  // Carries events out until `condition` holds (it is also checked every
  // few milliseconds, for conditions on the unit that no event announces).
  bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = kWait) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!condition()) {
      if (Clock::now() >= deadline) return false;
      const Clock::time_point slice = std::min(deadline, Clock::now() + kSlice);
      document_->WaitFor([&](const SessionEvent&) { return condition(); }, slice);
    }
    return true;
  }
  // Waits for the unit alone (no document to carry events out).
  static bool WaitForUnit(const std::function<bool()>& condition) {
    const Clock::time_point deadline = Clock::now() + kWait;
    while (!condition()) {
      if (Clock::now() >= deadline) return false;
      std::this_thread::sleep_for(kSlice);
    }
    return true;
  }
  bool WaitForOutput(const std::string& text) {
    return WaitFor([&] { return front_end_.Output().find(text) != std::string::npos; });
  }
  bool WaitUntilConnected(bool connected) {
    return WaitFor([&] { return document_->Connected() == connected; });
  }

  // Starts a unit and waits until the session is connected and has shown
  // the position once.
  void Connect(sim::UnitOptions options = {}) {
    StartUnit(std::move(options));
    OpenSession();
    ASSERT_TRUE(WaitUntilConnected(true));
    ASSERT_TRUE(WaitFor([&] { return !OffsetField().empty(); }));
  }

  // Submits a request and carries events out until it has finished.
  FinishedEvent Run(Request request) {
    const Submission submission = Session().Submit(std::move(request));
    EXPECT_TRUE(submission.Accepted());
    return WaitFinished(submission.id);
  }
  FinishedEvent WaitFinished(RequestId id, std::chrono::milliseconds timeout = kWait) {
    std::optional<FinishedEvent> finished;
    document_->WaitFor(
        [&](const SessionEvent& event) {
          const auto* f = std::get_if<FinishedEvent>(&event);
          if (f != nullptr && f->request == id) finished = *f;
          return finished.has_value();
        },
        Clock::now() + timeout);
    EXPECT_TRUE(finished.has_value()) << "no finished event for request " << id;
    return finished.value_or(FinishedEvent{});
  }
  // Program Device as the window's command: the stage's working sequence is
  // committed, then asked for. Nothing when the commit was refused.
  std::optional<FinishedEvent> Program(const TestSequence& sequence, bool verify = false) {
    stage_.RefreshFromDocument(sequence);
    const std::optional<Submission> submission = document_->ProgramDevice(verify);
    if (!submission) return std::nullopt;
    EXPECT_TRUE(submission->Accepted());
    return WaitFinished(submission->id);
  }

  // The offset field as the stage shows it ("" before the first position).
  std::string OffsetField() const { return stage_.OffsetText(); }

  template <typename Event>
  int Count() const {
    return static_cast<int>(std::count_if(events_.begin(), events_.end(), [](const auto& e) {
      return std::holds_alternative<Event>(e);
    }));
  }
  template <typename Event>
  std::optional<Event> Last() const {
    for (auto it = events_.rbegin(); it != events_.rend(); ++it) {
      if (const auto* event = std::get_if<Event>(&*it)) return *event;
    }
    return std::nullopt;
  }

  // Tests that hold a jog without confirming it; the dead-man test shortens it.
  std::chrono::milliseconds jog_confirm_limit_{5000};
  sim::FixtureTree tree_ = sim::FixtureTree::Temporary();
  std::unique_ptr<sim::SimulatedUnit> unit_;
  std::string tty_;
  test_support::RecordingFrontEnd front_end_;
  StageModel stage_{front_end_};
  std::unique_ptr<Document> document_;
  // Every event carried out, in order.
  std::vector<SessionEvent> events_;

 private:
  static constexpr std::chrono::milliseconds kSlice{5};
  void EventHandled(const SessionEvent& event) override { events_.push_back(event); }
};

}  // namespace stravon::worker_test
