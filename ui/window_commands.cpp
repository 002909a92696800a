// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window_commands.h"

namespace stravon {

bool CommandEnabled(Command command, bool connected) {
  switch (command) {
    case Command::kFileOpen:
    case Command::kFileSave:
    case Command::kReadDevice:
    case Command::kProgramDevice:
    case Command::kHardwareSettings:
    case Command::kConnectionIndicator:
    case Command::kJogPlus:
    case Command::kJogMinus:
    case Command::kMoveToPosition:
      return connected;
    default:
      return true;
  }
}

}  // namespace stravon
