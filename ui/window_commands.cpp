// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window_commands.h"

namespace stravon {

bool CommandEnabled(int command_id, bool connected) {
  switch (command_id) {
    case kCommandFileOpen:
    case kCommandFileSave:
    case kCommandReadDevice:
    case kCommandProgramDevice:
    case kCommandHardwareSettings:
    case kCommandConnectionIndicator:
    case kCommandJogPlus:
    case kCommandJogMinus:
    case kCommandMoveToPosition:
      return connected;
    default:
      return true;
  }
}

}  // namespace stravon
