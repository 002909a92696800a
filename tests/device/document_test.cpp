#include "protocol/ui/document.h"

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
DocumentOptions NowhereOptions() {
  DocumentOptions options;
  options.roots = {"/nonexistent/sysfs", "/nonexistent/dev"};
  return options;
}

TEST(Document, StartsEmptyWithTheDeviceCommandsDisabled) {
  RecordingFrontEnd front_end;
  Document document(&front_end, NowhereOptions());
  EXPECT_TRUE(document.Protocol().sets.empty());
  EXPECT_TRUE(document.Protocol().columns.empty());
  EXPECT_FALSE(document.Connected());
  EXPECT_FALSE(document.HardwareSettingsRead());
  EXPECT_EQ(document.CurrentSettings().MinimumSpecimenSize, 0.0f);
  EXPECT_EQ(document.SeriesIndex(), 0);
  EXPECT_EQ(document.HomePosition(), 315);
  EXPECT_EQ(document.PendingOperation(), kOperationNone);
  for (int id : {kCommandFileOpen, kCommandFileSave, kCommandReadDevice, kCommandProgramDevice,
                 kCommandHardwareSettings, kCommandConnectionIndicator, kCommandJogPlus,
                 kCommandJogMinus, kCommandMoveToPosition}) {
    EXPECT_FALSE(document.CommandEnabled(id)) << id;
  }
  // Not one of the document's commands.
  EXPECT_TRUE(document.CommandEnabled(57665));
}

TEST(Document, JogButtonsChangeTheCodeOnlyWhenTheyMayAndArgumentsComeWithTheirCode) {
  Document document(nullptr, NowhereOptions());
  EXPECT_FALSE(document.PressJog(true));  // not connected
  EXPECT_EQ(document.PendingOperation(), kOperationNone);

  // Releasing while reading keeps the read.
  document.RequestReadDevice();
  EXPECT_FALSE(document.ReleaseJog());
  EXPECT_EQ(document.PendingOperation(), kOperationReadDevice);

  document.SetPendingOperation(kOperationJogMinus);
  EXPECT_TRUE(document.ReleaseJog());
  EXPECT_EQ(document.PendingOperation(), kOperationJogStop);

  HardwareSettings settings;
  settings.OffsetPosition = 640;
  document.RequestProgramHardwareSettings(settings);
  EXPECT_EQ(document.PendingOperation(), kOperationProgramHardwareSettings);
  EXPECT_EQ(document.PendingHardwareSettings(), settings);
  document.RequestMove(-42);
  EXPECT_EQ(document.PendingOperation(), kOperationMove);
  EXPECT_EQ(document.MoveTarget(), -42);
}

TEST(Document, OnlyTheFirstDocumentIsTheLogSinkAndItsRegistrationGoesWithIt) {
  ASSERT_FALSE(MessageLog::Obtain().HasSink());
  RecordingFrontEnd first_pane;
  RecordingFrontEnd second_pane;
  auto first = std::make_unique<Document>(&first_pane, NowhereOptions());
  Document second(&second_pane, NowhereOptions());

  MessageLog::Obtain().Log("ReadFile failed with error 5.\n");
  EXPECT_EQ(first_pane.Output(), "ReadFile failed with error 5.\n");
  EXPECT_EQ(second_pane.Output(), "");

  first.reset();
  EXPECT_FALSE(MessageLog::Obtain().HasSink());
  MessageLog::Obtain().Log("after the first document\n");  // reaches standard output only
  EXPECT_EQ(second_pane.Output(), "");

  // A document created later takes the free place.
  RecordingFrontEnd third_pane;
  Document third(&third_pane, NowhereOptions());
  MessageLog::Obtain().Log("x\n");
  EXPECT_EQ(third_pane.Output(), "x\n");
}

TEST(Document, ClosingStopsAnIdleWorkerAtOnce) {
  RecordingFrontEnd front_end;
  auto document = std::make_unique<Document>(&front_end, NowhereOptions());
  document->StartWorker();
  document->StartWorker();  // a second start changes nothing
  EXPECT_TRUE(document->WorkerRunning());
  std::this_thread::sleep_for(50ms);
  const auto start = std::chrono::steady_clock::now();
  document.reset();
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
    const JogLimits limits = ComputeJogLimits(settings, kHomePosition, Document::kLimitMargin);
    EXPECT_EQ(limits.lower, c.expected.lower) << c.pitch << " " << c.offset_position;
    EXPECT_EQ(limits.upper, c.expected.upper) << c.pitch << " " << c.offset_position;
  }
}

}  // namespace
}  // namespace stravon
