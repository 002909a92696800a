// SPDX-License-Identifier: GPL-3.0-or-later
// portscout <device type>
//
// Reports which kind of control unit is attached: one result code, printed
// on standard output without a line break and returned as the exit status.
// Results: -1, 0, 1, 2, 10, 11, 12, 13, 20, 21, 22. The exit status keeps
// only the low 8 bits, so -1 exits with 255. Nothing goes to standard error.
//
// "portscout --version", that one argument alone, prints the version instead.
// Installation scripts only ever pass a number; any other text, "--version"
// with more after it included, is still read as a device type.
#include <cstdio>
#include <cstring>

#include "portscout/port_scout.h"
#include "stravon/version.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("portscout %.*s\n", static_cast<int>(stravon::kVersion.size()),
                stravon::kVersion.data());
    return 0;
  }
  const int result = stravon::RunPortScout(argc, argv);
  std::printf("%d", result);
  std::fflush(stdout);
  return result;
}
