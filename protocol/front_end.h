#pragma once

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

  virtual ~FrontEnd() = default;

  // A modal message box without an owner window; returns the button pressed.
  virtual MessageButton ShowMessageBox(MessageKind kind, const std::string& caption,
                                       const std::string& text) = 0;
};

}  // namespace stravon
