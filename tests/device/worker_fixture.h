// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "device/device_session.h"
#include "device/hardware_settings.h"
#include "protocol/test_sequence.h"
#include "sim/fixture_tree.h"
#include "sim/simulated_unit.h"
#include "tests/support/recording_front_end.h"
#include "tests/support/test_settings.h"

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

// A simulated unit in a fixture tree, and a session with a recording front
// end whose worker finds the unit there.
class WorkerTest : public ::testing::Test {
 protected:
  void TearDown() override { session_.reset(); }

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

  void OpenSession() {
    DeviceSessionOptions options;
    options.roots = {tree_.SysfsRoot(), tree_.DevRoot()};
    options.read_timeout_ms = kReadTimeoutMs;
    options.jog_confirm_limit = jog_confirm_limit_;
    session_ = std::make_unique<DeviceSession>(&front_end_, options);
    session_->StartWorker();
  }

  // Starts a unit and waits until the session is connected and has shown
  // the position once.
  void Connect(sim::UnitOptions options = {}) {
    StartUnit(std::move(options));
    OpenSession();
    ASSERT_TRUE(session_->WaitUntilConnected(true, kWait));
    ASSERT_TRUE(front_end_.WaitFor([&] { return !front_end_.OffsetField().empty(); }));
  }

  // Requests an operation and waits until the worker has carried it out.
  void Run(const std::function<void()>& request) {
    request();
    ASSERT_TRUE(session_->WaitUntilIdle(kWait));
  }

  // What the stage view commits for Program Device.
  void CommitOnProgram(const TestSequence& sequence) {
    front_end_.SetCommitHandler([this, sequence] {
      session_->SetProtocol(sequence);
      return 1;
    });
  }

  // Tests that hold a jog without confirming it; the dead-man test shortens it.
  std::chrono::milliseconds jog_confirm_limit_{5000};
  sim::FixtureTree tree_ = sim::FixtureTree::Temporary();
  std::unique_ptr<sim::SimulatedUnit> unit_;
  std::string tty_;
  test_support::RecordingFrontEnd front_end_;
  std::unique_ptr<DeviceSession> session_;
};

}  // namespace stravon::worker_test
