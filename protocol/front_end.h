#pragma once

#include <optional>
#include <string>

namespace stravon {

// Everything of the core that a person would see goes through this interface;
// each front end (desktop program, command line, test double) implements it.
// It is called from the device worker thread: calls that return an answer
// block the caller until the person has answered.
class FrontEnd {
 public:
  enum class MessageKind { kInformation, kWarning, kError };
  enum class MessageButton { kOk, kCancel };
  enum class FileDialogKind { kOpen, kSave };

  virtual ~FrontEnd() = default;

  // A modal message box without an owner window; returns the button pressed.
  virtual MessageButton ShowMessageBox(MessageKind kind, const std::string& caption,
                                       const std::string& text) = 0;

  // The output pane of the document's window. `text` uses "\n" line breaks.
  virtual void ClearOutput() {}
  virtual void AppendOutput(const std::string& /*text*/) {}

  // A file dialog for protocol files (extension "tmt") that starts at
  // `initial_path`; the save dialog asks before an existing file is replaced.
  // Returns the chosen path, or nothing when the person cancels.
  virtual std::optional<std::string> ChooseProtocolFile(FileDialogKind /*kind*/,
                                                        const std::string& /*initial_path*/) {
    return std::nullopt;
  }
};

}  // namespace stravon
