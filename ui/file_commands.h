// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "device/hardware_settings.h"
#include "protocol/front_end.h"
#include "protocol/test_sequence.h"
#include "ui/settings_store.h"
#include "ui/stage_model.h"

namespace stravon {

// The folder of a path: everything up to and including its last '/' or '\',
// or the empty text when it has neither.
std::string DirectoryPart(std::string_view path);

// The folder protocol files are looked for in when none was used yet: the
// program's folder with its last component replaced by "Templates", so a
// program at /opt/x/bin/stravon gives /opt/x/Templates (no trailing separator).
std::string DefaultTemplateDirectory(std::string_view program_path);

// The folder of the last protocol file opened or saved, or the default folder.
// The default is never stored.
std::string ReadTemplateDirectory(const SettingsStore& settings, std::string_view program_path);
void WriteTemplateDirectory(SettingsStore& settings, std::string_view path);

enum class FileCommandResult {
  kNotReady,   // the unit's hardware settings have not been read: nothing done
  kRefused,    // the working sequence failed its checks (the stage showed why)
  kCancelled,  // the file dialog was cancelled
  kFailed,     // the file could not be read or written
  kDone,
};

// The document's File Open and File Save commands. The document hands in its
// protocol, its stage and whether its hardware settings have been read.
class FileCommands {
 public:
  FileCommands(FrontEnd& front_end, SettingsStore& settings, std::string program_path);

  // Reads a chosen file into `protocol` (replacing its sets and columns) and
  // shows it in `stage`. A file that cannot be read changes nothing and shows
  // a warning with the file's name and the reason.
  FileCommandResult Open(bool settings_read, TestSequence& protocol, StageModel& stage);

  // A file read for this document elsewhere (named on the command line, or
  // chosen from the recent files): shown in `stage` as Open shows it.
  void ShowOpened(const TestSequence& protocol, StageModel& stage);

  // Writes a committed protocol to a chosen file (the writer sets its
  // columns). The file is replaced atomically; a failed write shows an error
  // and leaves any old file as it was.
  FileCommandResult Save(TestSequence& protocol);

  // The file of the last Open or Save that went through.
  const std::string& LastFile() const { return last_file_; }

 private:
  // A failed read or write: the pane's line and the warning box.
  void ShowFailure(const std::string& what, const std::string& error);
  // Shows the dialog and, on a choice, stores its folder as the template folder.
  std::optional<std::string> ChooseFile(FrontEnd::FileDialogKind kind);

  FrontEnd& front_end_;
  SettingsStore& settings_;
  std::string program_path_;
  std::string last_file_;
};

}  // namespace stravon
