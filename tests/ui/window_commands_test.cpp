// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window_commands.h"

#include <gtest/gtest.h>

namespace stravon {
namespace {

TEST(WindowCommands, DeviceCommandsFollowTheConnection) {
  for (int id : {kCommandFileOpen, kCommandFileSave, kCommandReadDevice, kCommandProgramDevice,
                 kCommandHardwareSettings, kCommandConnectionIndicator, kCommandJogPlus,
                 kCommandJogMinus, kCommandMoveToPosition}) {
    EXPECT_FALSE(CommandEnabled(id, false)) << id;
    EXPECT_TRUE(CommandEnabled(id, true)) << id;
  }
  // Not one of the window's device commands.
  EXPECT_TRUE(CommandEnabled(57665, false));
}

}  // namespace
}  // namespace stravon
