// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace stravon {

// Command ids of the document window.
inline constexpr int kCommandFileOpen = 57601;
inline constexpr int kCommandFileSave = 57603;
inline constexpr int kCommandReadDevice = 32771;
inline constexpr int kCommandProgramDevice = 32772;
inline constexpr int kCommandHardwareSettings = 32774;
inline constexpr int kCommandConnectionIndicator = 32775;
inline constexpr int kCommandJogPlus = 32776;
inline constexpr int kCommandJogMinus = 32777;
inline constexpr int kCommandMoveToPosition = 32778;

// Whether a command of the document window is enabled: the File and Hardware
// commands exactly while the unit is connected; ids that are not the
// window's device commands are left to others (true).
bool CommandEnabled(int command_id, bool connected);

}  // namespace stravon
