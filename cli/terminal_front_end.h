// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/console.h"
#include "protocol/front_end.h"

namespace stravon::cli {

// The document window of the command line. The output pane (with the
// message log's lines, which reach it as session events) is shown with -v:
// commands decide on the session's events, never on its text. Message boxes
// are collected so that the command ends with the system's own message; a
// transfer's progress window is a line on standard error.
//
// Used on the command's thread only, like any document window.
class TerminalFrontEnd : public FrontEnd {
 public:
  struct Message {
    MessageKind kind = MessageKind::kInformation;
    std::string text;
  };

  explicit TerminalFrontEnd(Console& console) : console_(console) {}

  MessageButton ShowMessageBox(MessageKind kind, const std::string& caption,
                               const std::string& text) override;
  void AppendOutput(const std::string& text) override;
  std::unique_ptr<ProgressWindow> CreateProgressWindow(const std::string& text,
                                                       std::function<void()> cancel) override;

  // Message boxes shown since the last TakeMessages.
  std::vector<Message> TakeMessages();

 private:
  Console& console_;
  std::vector<Message> messages_;
};

}  // namespace stravon::cli
