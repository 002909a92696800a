// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "device/hardware_settings.h"

namespace stravon::cli {

// A backup of the unit's 64-byte settings block: a readable description of
// the settings and the block itself in hexadecimal ("block 00 6c 08 ...",
// four lines of 16 bytes). Only the block lines are read back; the
// description is for people. `origin` says where the block came from.
std::string BackupText(const SettingsBlock& block, const std::string& origin);

// The block of a backup; false with the reason in `error` when the block
// lines are missing, incomplete or not hexadecimal.
bool ParseBackup(std::string_view text, SettingsBlock* block, std::string* error);

// The settings as lines of "name  value", for the backup and the settings
// command.
std::string SettingsDescription(const HardwareSettings& settings);

}  // namespace stravon::cli
