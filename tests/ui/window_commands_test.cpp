// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window_commands.h"

#include <gtest/gtest.h>

namespace stravon {
namespace {

TEST(WindowCommands, DeviceCommandsFollowTheConnection) {
  for (Command command :
       {Command::kFileOpen, Command::kFileSave, Command::kReadDevice, Command::kProgramDevice,
        Command::kHardwareSettings, Command::kConnectionIndicator, Command::kJogPlus,
        Command::kJogMinus, Command::kMoveToPosition}) {
    EXPECT_FALSE(CommandEnabled(command, false)) << static_cast<int>(command);
    EXPECT_TRUE(CommandEnabled(command, true)) << static_cast<int>(command);
  }
  // Not one of the window's device commands.
  EXPECT_TRUE(CommandEnabled(Command::kExit, false));
}

}  // namespace
}  // namespace stravon
