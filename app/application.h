#pragma once

#include <optional>
#include <string>
#include <vector>

namespace stravon::app {

// What the command line asks for, before any window exists.
struct CommandLine {
  bool help = false;
  bool version = false;
  std::optional<std::string> file;
  std::string error;  // not understood; the program ends with status 2
};

// Reads the program's own arguments (Qt's were taken out already).
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

std::string HelpText(const std::string& program);
std::string VersionText();

// The desktop program: runs until the main window closes and returns the
// exit status.
int RunApplication(int argc, char** argv);

}  // namespace stravon::app
