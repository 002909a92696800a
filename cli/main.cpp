// SPDX-License-Identifier: GPL-3.0-or-later
// stravon-cli: the command-line front end. See cli_app.cpp for the commands.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli/cli_app.h"
#include "cli/console.h"
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
  int status = stravon::cli::RunCli(argc, argv, results, stderr);
  // A quit caught to stop the motion first still ends as a quit does.
  if (stravon::cli::InterruptSignal() == SIGQUIT) status = 128 + SIGQUIT;
  // Results that did not reach standard output (a full disk, a closed pipe,
  // /dev/full) are a failure, however the command itself went.
  const bool write_failed = std::ferror(results) != 0;
  errno = 0;
  const bool flush_failed = std::fflush(results) != 0;
  int error = stravon::cli::ResultWriteError();
  if (error == 0) error = errno;
  if (std::fclose(results) != 0 || write_failed || flush_failed) {
    if (error == 0) error = errno;
    std::fprintf(stderr, "Error:  Cannot write to standard output%s%s\n", error != 0 ? ": " : ".",
                 error != 0 ? std::strerror(error) : "");
    if (status == 0) status = 1;
  }
  return status;
}
