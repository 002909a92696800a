// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/console.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

namespace stravon::cli {
namespace {

// One lock for both streams: a line to standard error must not land inside a
// progress line being redrawn on the same terminal.
std::mutex& OutputMutex() {
  static std::mutex mutex;
  return mutex;
}

// The first error met writing a result, for the check at exit.
std::atomic<int> result_error{0};

}  // namespace

Console::Console(std::FILE* out, std::FILE* err, Verbosity verbosity)
    : out_(out), err_(err), verbosity_(verbosity), err_is_terminal_(isatty(fileno(err)) == 1) {}

void Console::Result(std::string_view text) { Write(out_, text); }

void Console::Note(std::string_view text) {
  if (verbosity_ != Verbosity::kQuiet) Write(err_, text);
}

void Console::Detail(std::string_view text) {
  if (verbosity_ == Verbosity::kVerbose) Write(err_, text);
}

void Console::Error(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  std::string line(text);
  line += '\n';
  Write(err_, line);
}

void Console::Write(std::FILE* stream, std::string_view text) {
  if (text.empty()) return;
  std::lock_guard lock(OutputMutex());
  errno = 0;
  const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  if ((std::fflush(stream) != 0 || !written) && stream == out_ && result_error == 0) {
    result_error = errno != 0 ? errno : EIO;
  }
}

int ResultWriteError() { return result_error.load(); }

std::string ErrorText(std::string_view text) {
  constexpr std::string_view kPrefix = "Error:  ";
  if (text.substr(0, kPrefix.size()) == kPrefix) return std::string(text);
  return std::string(kPrefix) + std::string(text);
}

}  // namespace stravon::cli
