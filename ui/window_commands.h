// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace stravon {

// Command ids of the main window's menus, keys and toolbar.
enum class Command : int {
  kFileNew = 57600,
  kFileOpen = 57601,
  kFileClose = 57602,
  kFileSave = 57603,
  kPrintSetup = 57606,
  kRecentFile = 57616,
  kAbout = 57664,
  kExit = 57665,
  kToggleStatusBar = 59393,
  kReadDevice = 32771,
  kProgramDevice = 32772,
  kHardwareSettings = 32774,
  kConnectionIndicator = 32775,
  kJogPlus = 32776,
  kJogMinus = 32777,
  kMoveToPosition = 32778,
  kVerifyAfterProgramming = 32779,
};

// Whether a command of the document window is enabled: the File and Hardware
// commands exactly while the unit is connected; the others are left to the
// application (true).
bool CommandEnabled(Command command, bool connected);

}  // namespace stravon
