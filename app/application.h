// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/simulated_unit_host.h"

namespace stravon::app {

// What the command line asks for, before any window exists.
struct CommandLine {
  bool help = false;
  bool version = false;
  std::optional<std::string> file;
  // --simulate[=OPTIONS]: serve a simulated unit in this process.
  std::optional<SimulateOptions> simulate;
  // --screenshot FILE: save the main window as a PNG once the unit has
  // connected (or a few seconds went by without one), then end.
  std::optional<std::string> screenshot;
  std::string error;  // not understood; the program ends with status 2
  // The error lies in one of the program's own options, so it stands before
  // Qt takes its options (such as -platform NAME) out of the command line.
  bool error_in_own_option = false;
};

// Reads the program's own arguments (Qt's were taken out already).
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The desktop entry's name without ".desktop", which is also the icon's.
inline constexpr const char* kDesktopEntry = "org.stravon.Stravon";

// The names the settings are kept under, and what tells the desktop which
// entry and icon the program's windows belong to. Needs the application object.
void NameTheApplication();

std::string HelpText(const std::string& program);
std::string VersionText();

// The desktop program: runs until the main window closes and returns the
// exit status.
int RunApplication(int argc, char** argv);

}  // namespace stravon::app
