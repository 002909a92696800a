// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/session_text.h"

#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "device/operation_outcome.h"

namespace stravon {
namespace {

FinishedEvent Finished(Outcome outcome, bool verify = false, std::int32_t sets = 1) {
  FinishedEvent finished;
  finished.outcome = outcome;
  finished.verify = verify;
  finished.set_count = sets;
  return finished;
}

TEST(SessionText, AFinishedRequestGivesThePanesLines) {
  Outcome mismatch =
      Outcome::Of(Operation::kProgramDevice, Outcome::Kind::kFailed, Outcome::Step::kVerify);
  mismatch.mismatch = Outcome::Mismatch{0x6E10, 0x12, 0x13};
  Outcome cleared = Outcome::Of(Operation::kProgramDevice, Outcome::Kind::kCancelled,
                                Outcome::Step::kWriteProgram);
  cleared.program_area_cleared = true;
  const struct {
    const char* name;
    FinishedEvent finished;
    const char* text;
  } cases[] = {
      {"read", Finished(Outcome::Of(Operation::kReadDevice)), "\nReading Device... Success\n"},
      {"read, nothing stored", Finished(Outcome::Of(Operation::kReadDevice), false, 0),
       "\nReading Device... Success\nNo protocol stored in the unit.\n"},
      {"program", Finished(Outcome::Of(Operation::kProgramDevice)),
       "\nProgramming Device... Success\n"},
      {"program and verify", Finished(Outcome::Of(Operation::kProgramDevice), true),
       "\nProgramming Device... Success\nVerifying Device... Success\n"},
      {"verify finds a difference", Finished(mismatch, true),
       "\nProgramming Device... Success\nVerifying Device... Failure at address 0x6E10 (0x13 "
       "read, 0x12 written)\n"},
      {"program cancelled after clearing", Finished(cleared),
       "\nProgramming Device... Cancelled\nThe unit now holds no protocol; program it again "
       "before running it.\n"},
      {"move", Finished(Outcome::Of(Operation::kMove)), ""},
      {"not connected",
       Finished(Outcome::Of(Operation::kReadDevice, Outcome::Kind::kNotConnected,
                            Outcome::Step::kPortClosed)),
       ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FinishedText(c.finished), c.text) << c.name;
  }
}

TEST(SessionText, TheConnectionStatusNamesTheUnitOrTheCause) {
  auto unit = std::make_shared<UnitSnapshot>();
  unit->port = "/dev/ttyACM0";
  EXPECT_EQ(ConnectionStatusText(ConnectedEvent{unit}), "Connected: Unit on /dev/ttyACM0");
  EXPECT_EQ(ConnectionStatusText(DisconnectedEvent{Outcome::Cause::kUnplugged}),
            "Not connected: the unit was unplugged");
  ConnectionFailedEvent busy{"/dev/ttyACM0",
                             Outcome::Because(Operation::kNone, Outcome::Kind::kFailed,
                                              Outcome::Step::kOpenPort,
                                              Outcome::Cause::kInUseByAnotherProgram),
                             std::nullopt};
  EXPECT_EQ(ConnectionStatusText(busy),
            "Not connected: /dev/ttyACM0: the port is in use by another program");
  EXPECT_EQ(ConnectionStatusText(PositionEvent{}), std::nullopt);
}

}  // namespace
}  // namespace stravon
