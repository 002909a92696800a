// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace stravon {

// The window that shows the progress of a long transfer and offers Cancel.
// Created, driven and destroyed (by deleting it) on the device worker thread;
// a front end whose window lives on another thread forwards to it.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;

  // The bar's range and step; the position is left as it is.
  virtual void SetBounds(int lower, int upper) = 0;
  virtual void SetStepSize(int step) = 0;
  // One step further (shows the window again if it was hidden).
  virtual void Advance() = 0;
  // Lets the window repaint and notice a cancel request.
  virtual void PumpPendingMessages() = 0;
  // Once true, stays true.
  virtual bool IsCancelled() const = 0;
};

// Everything of the core that a person would see goes through this interface;
// each front end (desktop program, command line, test double) implements it.
// It stands for one document window: its output pane, its stage view with
// the offset field, the progress window of its transfers and message boxes.
//
// Calls come from the device worker thread (and, for AppendOutput, from any
// thread that writes to the message log). Calls that return an answer block
// the caller until the person has answered. AppendOutput and ClearOutput must
// not wait for the interface thread: the message log may call them while
// that thread is closing a document.
//
// A front end without a stage view keeps the defaults: output is dropped,
// refreshes do nothing, CommitSequence fails without a message and no
// progress window is shown.
class FrontEnd {
 public:
  enum class MessageKind { kInformation, kWarning, kError };
  enum class MessageButton { kOk, kCancel };
  enum class FileDialogKind { kOpen, kSave };

  virtual ~FrontEnd() = default;

  // A modal message box without an owner window; returns the button pressed.
  virtual MessageButton ShowMessageBox(MessageKind kind, const std::string& caption,
                                       const std::string& text) = 0;

  // The output pane. Texts use "\n" line ends; the pane converts them.
  virtual void AppendOutput(const std::string& /*text*/) {}
  virtual void ClearOutput() {}

  // Checks the stage view's working sequence and copies it into the document:
  // 1 on success, -1 after the view has shown its own message.
  virtual int CommitSequence() { return -1; }
  // Shows the document's protocol again.
  virtual void RefreshFromDocument() {}
  // Shows the rows, totals and offset again after the hardware settings changed.
  virtual void RefreshSettings() {}
  // Writes the offset field directly (already formatted, e.g. "1.23").
  virtual void WriteOffsetField(const std::string& /*text*/) {}

  // A file dialog for protocol files (extension "tmt") that starts at
  // `initial_path`; the save dialog asks before an existing file is replaced.
  // Returns the chosen path, or nothing when the person cancels.
  virtual std::optional<std::string> ChooseProtocolFile(FileDialogKind /*kind*/,
                                                        const std::string& /*initial_path*/) {
    return std::nullopt;
  }

  // Shows a progress window with `text` over the stage view, modal for the
  // main window; nullptr when none can be shown (the transfer then runs
  // without one and cannot be cancelled).
  virtual std::unique_ptr<ProgressWindow> CreateProgressWindow(const std::string& /*text*/) {
    return nullptr;
  }
};

}  // namespace stravon
