// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/console.h"
#include "protocol/front_end.h"
#include "protocol/test_sequence.h"
#include "ui/stage_model.h"

namespace stravon {
class DeviceSession;
}

namespace stravon::cli {

// The document window of the command line. The output pane is shown with -v
// (commands decide on the session's outcomes, never on its text); message
// boxes are collected so that the command ends with the system's own
// message; the stage's working sequence is the protocol the command was
// given; a transfer's progress window is a line on standard error. It also
// takes the process's message log, which would otherwise go to the first
// session's pane and mix with it.
//
// The device worker calls it from its own thread while the command's thread
// waits; everything it keeps is guarded by a mutex.
class TerminalFrontEnd : public FrontEnd {
 public:
  struct Message {
    MessageKind kind = MessageKind::kInformation;
    std::string text;
  };
  using Clock = std::chrono::steady_clock;

  explicit TerminalFrontEnd(Console& console);
  // Gives up the message log before anything of the front end goes.
  ~TerminalFrontEnd() override;
  TerminalFrontEnd(const TerminalFrontEnd&) = delete;
  TerminalFrontEnd& operator=(const TerminalFrontEnd&) = delete;

  // The session whose protocol CommitSequence replaces; set before its
  // worker starts.
  void AttachSession(DeviceSession* session) { session_ = session; }

  MessageButton ShowMessageBox(MessageKind kind, const std::string& caption,
                               const std::string& text) override;
  void AppendOutput(const std::string& text) override;
  int CommitSequence() override;
  void RefreshFromDocument() override;
  void RefreshSettings() override;
  void WriteOffsetField(const std::string& text) override;
  std::unique_ptr<ProgressWindow> CreateProgressWindow(const std::string& text) override;

  // --- The command's thread ---

  // What the stage shows and what Program Device commits.
  void LoadWorkingSequence(const TestSequence& sequence);

  // Message boxes shown since the last TakeMessages.
  std::vector<Message> TakeMessages();
  bool HasMessages() const;

  // Messages of the process's message log, and the last one.
  std::uint64_t LogCount() const;
  std::string LastLog() const;

  // Writes of the offset field, and the last text written.
  std::uint64_t OffsetWrites() const;
  std::string OffsetText() const;
  // Waits until at least `count` writes happened; false at `deadline`.
  bool WaitForOffsetWrites(std::uint64_t count, Clock::time_point deadline) const;

 private:
  void Log(const std::string& text);

  Console& console_;
  DeviceSession* session_ = nullptr;
  std::uint64_t log_token_ = 0;

  // The stage has a lock of its own: its warnings come back through
  // ShowMessageBox, which takes mutex_.
  std::mutex stage_mutex_;
  StageModel stage_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<Message> messages_;
  std::uint64_t log_count_ = 0;
  std::string last_log_;
  std::uint64_t offset_writes_ = 0;
  std::string offset_text_;
};

}  // namespace stravon::cli
