// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace stravon::test_support {

struct ProcessOutcome {
  std::string out;
  std::string err;
  int exit_status = -1;  // -1 when the process did not exit normally
};

// A built program run as a child process, for end-to-end tests. Its
// environment is this process's without any STRAVON_ variable, plus
// `environment` ("NAME=value" entries, which replace this process's
// variables of the same names); standard output and error are
// captured. A child still running when this goes away is killed.
class ChildProcess {
 public:
  // `as_nobody`: drop to the unprivileged user first (for a test run as root).
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& environment, bool as_nobody = false);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Signal(int signal) const;
  // Reads both outputs to their end and reaps the child.
  ProcessOutcome Wait();

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
};

}  // namespace stravon::test_support
