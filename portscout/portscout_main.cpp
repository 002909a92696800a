// portscout <device type>
//
// Reports which kind of control unit is attached: one result code, printed
// on standard output without a line break and returned as the exit status.
// Results: -1, 0, 1, 2, 10, 11, 12, 13, 20, 21, 22. The exit status keeps
// only the low 8 bits, so -1 exits with 255. Nothing goes to standard error.
#include <cstdio>

#include "portscout/port_scout.h"

int main(int argc, char** argv) {
  const int result = stravon::RunPortScout(argc, argv);
  std::printf("%d", result);
  std::fflush(stdout);
  return result;
}
