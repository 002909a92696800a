// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace stravon {

// The window that shows the progress of a long transfer and offers Cancel.
// Created, driven and destroyed on the interface thread.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;

  // The bar's range and step; the position is left as it is.
  virtual void SetBounds(int lower, int upper) = 0;
  virtual void SetStepSize(int step) = 0;
  // One step further (shows the window again if it was hidden).
  virtual void Advance() = 0;
  // Once true, stays true.
  virtual bool IsCancelled() const = 0;
  // When the last byte came from the unit, so that a window can tell a unit
  // that has stopped answering. A window without a clock ignores it.
  virtual void SetWaitingSince(std::chrono::steady_clock::time_point /*since*/) {}
};

// What the window logic needs a person to see or answer; each front end
// (desktop program, command line, test double) implements it. It stands for
// one document window: its output pane, message boxes, file dialogs and the
// progress window of its transfers. Every call comes from the interface
// thread (the thread that owns the document), except AppendOutput, which the
// message log may call from any thread.
//
// A front end without a window keeps the defaults: output is dropped, no
// file is chosen and no progress window is shown.
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

  // A file dialog for protocol files (extension "tmt") that starts at
  // `initial_path`; the save dialog asks before an existing file is replaced.
  // Returns the chosen path, or nothing when the person cancels.
  virtual std::optional<std::string> ChooseProtocolFile(FileDialogKind /*kind*/,
                                                        const std::string& /*initial_path*/) {
    return std::nullopt;
  }

  // Shows a progress window with `text` over the stage view, modal for the
  // main window; nullptr when none can be shown. `cancel` is called when the
  // person cancels, at once (the transfer may be waiting for a silent unit).
  virtual std::unique_ptr<ProgressWindow> CreateProgressWindow(const std::string& /*text*/,
                                                               std::function<void()> /*cancel*/) {
    return nullptr;
  }
};

}  // namespace stravon
