// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace stravon::cli {

enum class Verbosity { kQuiet, kNormal, kVerbose };

// Where the command line writes. Results (reports, JSON, a protocol sent to
// standard output) go to `out`; everything meant for the person goes to `err`.
// Calls may come from the device worker thread; each call writes whole lines
// and flushes, so that lines from two threads do not mix.
class Console {
 public:
  Console(std::FILE* out, std::FILE* err, Verbosity verbosity);

  Verbosity GetVerbosity() const { return verbosity_; }
  bool Quiet() const { return verbosity_ == Verbosity::kQuiet; }
  bool Verbose() const { return verbosity_ == Verbosity::kVerbose; }
  // Whether standard error is a terminal (a progress bar is drawn only then).
  bool ErrIsTerminal() const { return err_is_terminal_; }
  std::FILE* Err() const { return err_; }

  // A result; shown even with -q, since it is what was asked for.
  void Result(std::string_view text);
  // Progress and confirmations: not with -q.
  void Note(std::string_view text);
  // What the core reports on the way (output pane, message log): only with -v.
  void Detail(std::string_view text);
  // A failure: always. The system's own texts are shown as they are, with
  // their trailing line breaks reduced to one.
  void Error(std::string_view text);

 private:
  void Write(std::FILE* stream, std::string_view text);

  std::FILE* out_;
  std::FILE* err_;
  Verbosity verbosity_;
  bool err_is_terminal_;
};

// The errno of the first result that did not reach its stream; 0 when all did.
int ResultWriteError();

// "Error:  " followed by `text`, unless it already starts so.
std::string ErrorText(std::string_view text);

}  // namespace stravon::cli
