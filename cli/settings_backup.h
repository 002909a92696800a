// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

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

// What in a backup's settings no unit accepts, field by field, as
// "motor pitch nan mm per step: a unit takes 0.00001 to 0.015857"; empty
// when every field is within what a unit takes.
std::vector<std::string> BackupProblems(const HardwareSettings& settings);

// "Error:  FILE holds settings that a unit does not accept:" and the
// problems below it, indented; a problem may be a checker's message of
// several lines, "Error:  " prefixes and all.
std::string BackupRefusalText(const std::string& file, const std::vector<std::string>& problems);

// The settings as lines of "name  value", for the backup and the settings
// command.
std::string SettingsDescription(const HardwareSettings& settings);

}  // namespace stravon::cli
