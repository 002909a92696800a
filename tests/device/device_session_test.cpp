// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/device_session.h"

#include <chrono>

#include <gtest/gtest.h>

#include "device/device_worker.h"
#include "protocol/message_log.h"
#include "tests/support/recording_front_end.h"
#include "tests/support/time_scale.h"

namespace stravon {
namespace {

using namespace std::chrono_literals;
using test_support::RecordingFrontEnd;

// Roots where detection finds nothing, so that a worker stays disconnected.
DeviceSessionOptions NowhereOptions() {
  DeviceSessionOptions options;
  options.roots = {"/nonexistent/sysfs", "/nonexistent/dev"};
  return options;
}

TEST(DeviceSession, StartsEmptyAndDisconnected) {
  RecordingFrontEnd front_end;
  DeviceSession session(&front_end, NowhereOptions());
  EXPECT_TRUE(session.Protocol().sets.empty());
  EXPECT_TRUE(session.Protocol().columns.empty());
  EXPECT_FALSE(session.Connected());
  EXPECT_FALSE(session.HardwareSettingsRead());
  EXPECT_EQ(session.CurrentSettings().MinimumSpecimenSize, 0.0f);
  EXPECT_EQ(session.SeriesIndex(), 0);
  EXPECT_EQ(session.HomePosition(), 315);
  EXPECT_EQ(session.PendingOperation(), Operation::kNone);
  EXPECT_EQ(session.OutcomeCount(), 0u);
  EXPECT_FALSE(session.WaitForOutcome(0, std::chrono::milliseconds(1)));
}

TEST(DeviceSession, JogButtonsChangeTheCodeOnlyWhenTheyMayAndArgumentsComeWithTheirCode) {
  DeviceSession session(nullptr, NowhereOptions());
  EXPECT_FALSE(session.PressJog(true));  // not connected
  EXPECT_EQ(session.PendingOperation(), Operation::kNone);

  // Releasing while reading keeps the read.
  session.RequestReadDevice();
  EXPECT_FALSE(session.ReleaseJog());
  EXPECT_EQ(session.PendingOperation(), Operation::kReadDevice);

  session.SetPendingOperation(Operation::kJogMinus);
  EXPECT_TRUE(session.ReleaseJog());
  EXPECT_EQ(session.PendingOperation(), Operation::kJogStop);

  HardwareSettings settings;
  settings.OffsetPosition = 640;
  session.RequestProgramHardwareSettings(settings);
  EXPECT_EQ(session.PendingOperation(), Operation::kProgramHardwareSettings);
  EXPECT_EQ(session.PendingHardwareSettings(), settings);
  session.RequestMove(-42);
  EXPECT_EQ(session.PendingOperation(), Operation::kMove);
  EXPECT_EQ(session.MoveTarget(), -42);
}

TEST(DeviceSession, OnlyTheFirstSessionIsTheLogSinkAndItsRegistrationGoesWithIt) {
  ASSERT_FALSE(MessageLog::Obtain().HasSink());
  RecordingFrontEnd first_pane;
  RecordingFrontEnd second_pane;
  auto first = std::make_unique<DeviceSession>(&first_pane, NowhereOptions());
  DeviceSession second(&second_pane, NowhereOptions());

  MessageLog::Obtain().Log("Cannot read from /dev/ttyACM0: Input/output error (error 5).\n");
  EXPECT_EQ(first_pane.Output(), "Cannot read from /dev/ttyACM0: Input/output error (error 5).\n");
  EXPECT_EQ(second_pane.Output(), "");

  first.reset();
  EXPECT_FALSE(MessageLog::Obtain().HasSink());
  MessageLog::Obtain().Log("after the first session\n");  // reaches standard output only
  EXPECT_EQ(second_pane.Output(), "");

  // A session created later takes the free place.
  RecordingFrontEnd third_pane;
  DeviceSession third(&third_pane, NowhereOptions());
  MessageLog::Obtain().Log("x\n");
  EXPECT_EQ(third_pane.Output(), "x\n");
}

TEST(DeviceSession, ClosingStopsAnIdleWorkerAtOnce) {
  RecordingFrontEnd front_end;
  auto session = std::make_unique<DeviceSession>(&front_end, NowhereOptions());
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
}  // namespace stravon
