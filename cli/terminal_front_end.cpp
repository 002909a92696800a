// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_front_end.h"

#include <utility>

#include "cli/terminal_progress.h"

namespace stravon::cli {
namespace {

// The pane and log texts begin and end with line breaks of their own; shown
// on a terminal, blank lines in between say nothing.
std::string Lines(const std::string& text) {
  std::string lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(begin, end - begin);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\t')) line.pop_back();
    if (!line.empty()) lines += line + "\n";
    begin = end + 1;
  }
  return lines;
}

}  // namespace

FrontEnd::MessageButton TerminalFrontEnd::ShowMessageBox(MessageKind kind,
                                                         const std::string& /*caption*/,
                                                         const std::string& text) {
  console_.Detail(Lines(text));
  messages_.push_back({kind, text});
  return MessageButton::kOk;
}

void TerminalFrontEnd::AppendOutput(const std::string& text) { console_.Detail(Lines(text)); }

std::unique_ptr<ProgressWindow> TerminalFrontEnd::CreateProgressWindow(
    const std::string& text, std::function<void()> /*cancel*/) {
  // The window has no Cancel button: an interrupt is its cancel, and the
  // command submits that itself, also while no progress arrives.
  const bool draw = console_.ErrIsTerminal() && !console_.Quiet();
  return std::make_unique<TerminalProgress>(text, console_, draw);
}

std::vector<TerminalFrontEnd::Message> TerminalFrontEnd::TakeMessages() {
  std::vector<Message> taken;
  taken.swap(messages_);
  return taken;
}

}  // namespace stravon::cli
