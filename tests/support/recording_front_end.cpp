// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/recording_front_end.h"

#include <algorithm>
#include <utility>

namespace stravon::test_support {
namespace {

constexpr std::chrono::milliseconds kPollInterval{5};

}  // namespace

// Records into its front end under the front end's lock; the front end
// outlives every window it hands out.
class RecordingFrontEnd::Window : public ProgressWindow {
 public:
  Window(RecordingFrontEnd& owner, std::size_t index) : owner_(owner), index_(index) {}
  ~Window() override {
    Update([](Progress& p) { p.destroyed = true; });
    owner_.Record("progress end");
  }

  void SetBounds(int lower, int upper) override {
    Update([&](Progress& p) {
      p.lower = lower;
      p.upper = upper;
      ++p.bounds_calls;
    });
  }
  void SetStepSize(int step) override {
    Update([&](Progress& p) { p.step = step; });
  }
  void Advance() override {
    const int cancel_after = cancel_after_;
    bool cancel_now = false;
    Update([&](Progress& p) {
      ++p.advances;
      if (cancel_after >= 0 && p.advances >= cancel_after && !p.cancelled) {
        p.cancelled = true;
        cancel_now = true;
      }
    });
    // As the Cancel button: at once, outside the front end's lock.
    if (cancel_now && cancel_) cancel_();
  }
  bool IsCancelled() const override {
    std::lock_guard lock(owner_.mutex_);
    return owner_.windows_[index_].cancelled;
  }

  int cancel_after_ = -1;
  std::function<void()> cancel_;

 private:
  template <typename F>
  void Update(F change) {
    {
      std::lock_guard lock(owner_.mutex_);
      change(owner_.windows_[index_]);
    }
    owner_.Changed();
  }

  RecordingFrontEnd& owner_;
  std::size_t index_;
};

FrontEnd::MessageButton RecordingFrontEnd::ShowMessageBox(MessageKind kind,
                                                          const std::string& caption,
                                                          const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    boxes_.push_back({kind, caption, text});
    calls_.push_back("box " + text);
  }
  Changed();
  return MessageButton::kOk;
}

void RecordingFrontEnd::AppendOutput(const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    output_ += text;
    calls_.push_back("append " + text);
  }
  Changed();
}

void RecordingFrontEnd::ClearOutput() {
  {
    std::lock_guard lock(mutex_);
    output_.clear();
    calls_.push_back("clear");
  }
  Changed();
}

std::unique_ptr<ProgressWindow> RecordingFrontEnd::CreateProgressWindow(
    const std::string& text, std::function<void()> cancel) {
  std::unique_ptr<Window> window;
  {
    std::lock_guard lock(mutex_);
    windows_.push_back({});
    windows_.back().text = text;
    calls_.push_back("progress " + text);
    window = std::make_unique<Window>(*this, windows_.size() - 1);
    window->cancel_after_ = cancel_after_;
    window->cancel_ = std::move(cancel);
  }
  Changed();
  return window;
}

void RecordingFrontEnd::CancelProgressAfter(int advances) {
  std::lock_guard lock(mutex_);
  cancel_after_ = advances;
}

std::string RecordingFrontEnd::Output() const {
  std::lock_guard lock(mutex_);
  return output_;
}

std::vector<std::string> RecordingFrontEnd::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

int RecordingFrontEnd::CountCalls(std::string_view prefix) const {
  std::lock_guard lock(mutex_);
  int count = 0;
  for (const std::string& call : calls_) {
    if (call.starts_with(prefix)) ++count;
  }
  return count;
}

std::vector<RecordingFrontEnd::Box> RecordingFrontEnd::Boxes() const {
  std::lock_guard lock(mutex_);
  return boxes_;
}

std::vector<RecordingFrontEnd::Progress> RecordingFrontEnd::ProgressWindows() const {
  std::lock_guard lock(mutex_);
  return windows_;
}

void RecordingFrontEnd::Clear() {
  std::lock_guard lock(mutex_);
  output_.clear();
  calls_.clear();
  boxes_.clear();
  dialogs_.clear();
}

std::optional<std::string> RecordingFrontEnd::ChooseProtocolFile(FileDialogKind kind,
                                                                 const std::string& initial_path) {
  std::optional<std::string> answer;
  {
    std::lock_guard lock(mutex_);
    dialogs_.push_back({kind, initial_path});
    calls_.push_back("file dialog");
    if (!file_answers_.empty()) {
      answer = std::move(file_answers_.front());
      file_answers_.pop_front();
    }
  }
  Changed();
  return answer;
}

void RecordingFrontEnd::QueueFileAnswer(std::optional<std::string> path) {
  std::lock_guard lock(mutex_);
  file_answers_.push_back(std::move(path));
}

std::vector<RecordingFrontEnd::Dialog> RecordingFrontEnd::Dialogs() const {
  std::lock_guard lock(mutex_);
  return dialogs_;
}

std::vector<std::string> RecordingFrontEnd::BoxTexts() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> texts;
  for (const Box& box : boxes_) texts.push_back(box.text);
  return texts;
}

bool RecordingFrontEnd::WaitFor(const std::function<bool()>& condition,
                                std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    std::uint64_t seen = 0;
    {
      std::lock_guard lock(mutex_);
      seen = changes_;
    }
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // Conditions may also depend on things outside the front end (the
    // simulated unit), so look again after a short while in any case.
    const auto next = std::min(deadline, std::chrono::steady_clock::now() + kPollInterval);
    std::unique_lock lock(mutex_);
    changed_.wait_until(lock, next, [&] { return changes_ != seen; });
  }
}

bool RecordingFrontEnd::WaitForOutput(std::string_view text,
                                      std::chrono::milliseconds timeout) const {
  return WaitFor([&] { return Output().find(text) != std::string::npos; }, timeout);
}

void RecordingFrontEnd::Record(std::string call) {
  {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  Changed();
}

void RecordingFrontEnd::Changed() {
  {
    std::lock_guard lock(mutex_);
    ++changes_;
  }
  changed_.notify_all();
}

}  // namespace stravon::test_support
