// stravon-cli: the command-line front end. See cli_app.cpp for the commands.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "cli/cli_app.h"
#include "cli/interrupt.h"

int main(int argc, char** argv) {
  // Results go to the standard output the program was started with. The
  // process's message log writes every message to standard output as well;
  // here standard output carries data (a protocol, JSON), which those lines
  // would corrupt, so descriptor 1 is pointed at /dev/null and the log
  // reaches the person through the front end (-v) instead.
  std::FILE* results = stdout;
  const int results_fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (results_fd >= 0 && null_fd >= 0) {
    std::FILE* stream = fdopen(results_fd, "w");
    if (stream != nullptr && dup2(null_fd, STDOUT_FILENO) >= 0) results = stream;
  }
  if (null_fd >= 0) close(null_fd);

  stravon::cli::InstallInterruptHandler();
  const int status = stravon::cli::RunCli(argc, argv, results, stderr);
  std::fflush(results);
  return status;
}
