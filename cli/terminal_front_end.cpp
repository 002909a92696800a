// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_front_end.h"

#include <utility>

#include "cli/terminal_progress.h"
#include "device/device_session.h"
#include "protocol/message_log.h"

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

TerminalFrontEnd::TerminalFrontEnd(Console& console) : console_(console), stage_(*this) {
  // Registered before any session, so the log comes here and not into the pane.
  log_token_ = MessageLog::Obtain().Register([this](const std::string& text) { Log(text); });
}

TerminalFrontEnd::~TerminalFrontEnd() { MessageLog::Obtain().Unregister(log_token_); }

FrontEnd::MessageButton TerminalFrontEnd::ShowMessageBox(MessageKind kind,
                                                         const std::string& /*caption*/,
                                                         const std::string& text) {
  console_.Detail(Lines(text));
  {
    std::lock_guard lock(mutex_);
    messages_.push_back({kind, text});
  }
  changed_.notify_all();
  return MessageButton::kOk;
}

void TerminalFrontEnd::AppendOutput(const std::string& text) { console_.Detail(Lines(text)); }

int TerminalFrontEnd::CommitSequence() {
  if (session_ == nullptr) return -1;
  const HardwareSettings settings = session_->CurrentSettings();
  TestSequence committed = session_->Protocol();
  int result = -1;
  {
    std::lock_guard lock(stage_mutex_);
    result = stage_.CommitSequence(settings, committed);
  }
  if (result == 1) session_->SetProtocol(std::move(committed));
  return result;
}

void TerminalFrontEnd::RefreshFromDocument() {
  if (session_ == nullptr) return;
  std::lock_guard lock(stage_mutex_);
  stage_.RefreshFromDocument(session_->Protocol());
}

void TerminalFrontEnd::RefreshSettings() {
  if (session_ == nullptr) return;
  std::lock_guard lock(stage_mutex_);
  stage_.RefreshSettings(session_->CurrentSettings());
}

void TerminalFrontEnd::WriteOffsetField(const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    offset_text_ = text;
    ++offset_writes_;
  }
  changed_.notify_all();
}

std::unique_ptr<ProgressWindow> TerminalFrontEnd::CreateProgressWindow(const std::string& text) {
  const bool draw = console_.ErrIsTerminal() && !console_.Quiet();
  return std::make_unique<TerminalProgress>(text, console_, draw);
}

void TerminalFrontEnd::LoadWorkingSequence(const TestSequence& sequence) {
  std::lock_guard lock(stage_mutex_);
  stage_.RefreshFromDocument(sequence);
}

std::vector<TerminalFrontEnd::Message> TerminalFrontEnd::TakeMessages() {
  std::lock_guard lock(mutex_);
  std::vector<Message> taken;
  taken.swap(messages_);
  return taken;
}

bool TerminalFrontEnd::HasMessages() const {
  std::lock_guard lock(mutex_);
  return !messages_.empty();
}

std::uint64_t TerminalFrontEnd::LogCount() const {
  std::lock_guard lock(mutex_);
  return log_count_;
}

std::string TerminalFrontEnd::LastLog() const {
  std::lock_guard lock(mutex_);
  return last_log_;
}

std::uint64_t TerminalFrontEnd::OffsetWrites() const {
  std::lock_guard lock(mutex_);
  return offset_writes_;
}

std::string TerminalFrontEnd::OffsetText() const {
  std::lock_guard lock(mutex_);
  return offset_text_;
}

bool TerminalFrontEnd::WaitForOffsetWrites(std::uint64_t count, Clock::time_point deadline) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_until(lock, deadline, [&] { return offset_writes_ >= count; });
}

void TerminalFrontEnd::Log(const std::string& text) {
  console_.Detail(Lines(text));
  std::lock_guard lock(mutex_);
  ++log_count_;
  const std::string lines = Lines(text);
  if (!lines.empty()) last_log_ = lines.substr(0, lines.size() - 1);
}

}  // namespace stravon::cli
