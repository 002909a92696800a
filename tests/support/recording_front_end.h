// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/front_end.h"

namespace stravon::test_support {

// A front end that records what the core asks of it, for tests. Safe to call
// from the device worker while the test thread reads it; the test waits for
// the worker with WaitFor.
class RecordingFrontEnd : public FrontEnd {
 public:
  struct Box {
    MessageKind kind;
    std::string caption;
    std::string text;
  };
  // One progress window, from creation to destruction.
  struct Progress {
    std::string text;
    int lower = 0;
    int upper = 100;
    int step = 1;
    int bounds_calls = 0;
    int advances = 0;
    bool cancelled = false;
    bool destroyed = false;
  };

  MessageButton ShowMessageBox(MessageKind kind, const std::string& caption,
                               const std::string& text) override;
  void AppendOutput(const std::string& text) override;
  void ClearOutput() override;
  std::unique_ptr<ProgressWindow> CreateProgressWindow(const std::string& text,
                                                       std::function<void()> cancel) override;
  // Answers from the queue of file answers; an empty queue answers Cancel.
  std::optional<std::string> ChooseProtocolFile(FileDialogKind kind,
                                                const std::string& initial_path) override;

  struct Dialog {
    FileDialogKind kind;
    std::string initial_path;
  };
  // The answer of the next file dialog (nullopt: Cancel).
  void QueueFileAnswer(std::optional<std::string> path);
  std::vector<Dialog> Dialogs() const;

  // Progress windows created from now on report a cancel once they have
  // advanced this often (never when negative).
  void CancelProgressAfter(int advances);

  // The output pane's text since it was last cleared.
  std::string Output() const;
  // Every call in order, one line each: "append <text>", "clear",
  // "box <text>",
  // "progress <text>", "progress end", "file dialog".
  std::vector<std::string> Calls() const;
  int CountCalls(std::string_view prefix) const;
  std::vector<Box> Boxes() const;
  std::vector<std::string> BoxTexts() const;
  std::vector<Progress> ProgressWindows() const;
  void Clear();

  // Waits until `condition` holds; it is checked after every call the front
  // end receives and every few milliseconds. False when `timeout` passes first.
  bool WaitFor(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const;
  bool WaitForOutput(std::string_view text,
                     std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) const;

 private:
  class Window;
  void Record(std::string call);
  void Changed();

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::uint64_t changes_ = 0;
  std::string output_;
  std::vector<std::string> calls_;
  std::vector<Box> boxes_;
  std::vector<Progress> windows_;
  std::vector<Dialog> dialogs_;
  std::deque<std::optional<std::string>> file_answers_;
  int cancel_after_ = -1;
};

}  // namespace stravon::test_support
