// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/child_process.h"

#include <algorithm>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "protocol/retry_on_eintr.h"

extern char** environ;

namespace stravon::test_support {
namespace {

constexpr uid_t kNobody = 65534;

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::vector<std::string>& environment, bool as_nobody) {
  std::vector<std::string> env_text;
  // A variable given in `environment` replaces this process's: the first
  // of two entries of one name is the one a program reads.
  const auto given = [&environment](const std::string& entry) {
    const std::string name = entry.substr(0, entry.find('=') + 1);
    return std::any_of(environment.begin(), environment.end(),
                       [&name](const std::string& mine) { return mine.rfind(name, 0) == 0; });
  };
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind("STRAVON_", 0) != 0 && !given(entry)) env_text.push_back(entry);
  }
  env_text.insert(env_text.end(), environment.begin(), environment.end());
  std::vector<char*> env;
  for (std::string& entry : env_text) env.push_back(entry.data());
  env.push_back(nullptr);
  std::vector<std::string> argv_text = {program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int out_pipe[2];
  int err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0) return;
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
    ::close(out_pipe[0]);
    ::close(out_pipe[1]);
    return;
  }
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(out_pipe[1], 1);
    ::dup2(err_pipe[1], 2);
    if (as_nobody &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      ::_exit(126);
    }
    ::execve(argv[0], argv.data(), env.data());
    ::_exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  out_fd_ = out_pipe[0];
  err_fd_ = err_pipe[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    Wait();
  }
}

void ChildProcess::Signal(int signal) const {
  if (pid_ > 0) ::kill(pid_, signal);
}

ProcessOutcome ChildProcess::Wait() {
  ProcessOutcome outcome;
  if (pid_ <= 0) return outcome;
  // Both pipes at once, so a child that fills one while we wait on the
  // other cannot stall.
  pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
  std::string* texts[2] = {&outcome.out, &outcome.err};
  int open_pipes = 2;
  char buffer[4096];
  while (open_pipes > 0) {
    if (RetryOnEintr([&] { return ::poll(fds, 2, -1); }) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = RetryOnEintr([&] { return ::read(fds[i].fd, buffer, sizeof buffer); });
      if (n > 0) {
        texts[i]->append(buffer, static_cast<std::size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  int status = 0;
  RetryOnEintr([&] { return ::waitpid(pid_, &status, 0); });
  if (WIFEXITED(status)) outcome.exit_status = WEXITSTATUS(status);
  pid_ = -1;
  out_fd_ = err_fd_ = -1;
  return outcome;
}

}  // namespace stravon::test_support
