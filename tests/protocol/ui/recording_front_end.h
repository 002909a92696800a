#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "protocol/front_end.h"

namespace stravon::testing {

// Records what the core shows and answers file dialogs from a queue (an empty
// queue answers Cancel).
class RecordingFrontEnd : public FrontEnd {
 public:
  struct Box {
    MessageKind kind;
    std::string caption;
    std::string text;
  };
  struct Dialog {
    FileDialogKind kind;
    std::string initial_path;
  };

  MessageButton ShowMessageBox(MessageKind kind, const std::string& caption,
                               const std::string& text) override {
    boxes.push_back({kind, caption, text});
    return MessageButton::kOk;
  }
  void ClearOutput() override { output.clear(); }
  void AppendOutput(const std::string& text) override { output += text; }
  std::optional<std::string> ChooseProtocolFile(FileDialogKind kind,
                                                const std::string& initial_path) override {
    dialogs.push_back({kind, initial_path});
    if (file_answers.empty()) return std::nullopt;
    std::optional<std::string> answer = file_answers.front();
    file_answers.pop_front();
    return answer;
  }

  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const Box& box : boxes) texts.push_back(box.text);
    return texts;
  }

  std::vector<Box> boxes;
  std::string output;
  std::vector<Dialog> dialogs;
  std::deque<std::optional<std::string>> file_answers;
};

}  // namespace stravon::testing
