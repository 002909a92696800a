// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/file_commands.h"

#include <string>
#include <utility>

#include "protocol/protocol_file.h"

namespace stravon {
namespace {

constexpr std::string_view kSeparators = "/\\";

}  // namespace

std::string DirectoryPart(std::string_view path) {
  const std::size_t last = path.find_last_of(kSeparators);
  if (last == std::string_view::npos) return {};
  return std::string(path.substr(0, last + 1));
}

std::string DefaultTemplateDirectory(std::string_view program_path) {
  std::string_view folder = program_path;
  char separator = '/';
  const std::size_t file_start = folder.find_last_of(kSeparators);
  if (file_start != std::string_view::npos) {
    separator = folder[file_start];
    folder = folder.substr(0, file_start);
  } else {
    folder = {};
  }
  const std::size_t last_component = folder.find_last_of(kSeparators);
  const std::string_view parent = last_component == std::string_view::npos
                                      ? std::string_view()
                                      : folder.substr(0, last_component);
  std::string result(parent);
  result += separator;
  result += "Templates";
  return result;
}

std::string ReadTemplateDirectory(const SettingsStore& settings, std::string_view program_path) {
  std::string stored = settings.ReadString(kSettingsSection, kTemplateDirValue, "");
  if (stored.empty()) return DefaultTemplateDirectory(program_path);
  return stored;
}

void WriteTemplateDirectory(SettingsStore& settings, std::string_view path) {
  settings.WriteString(kSettingsSection, kTemplateDirValue, path);
}

FileCommands::FileCommands(FrontEnd& front_end, SettingsStore& settings, std::string program_path)
    : front_end_(front_end), settings_(settings), program_path_(std::move(program_path)) {}

std::optional<std::string> FileCommands::ChooseFile(FrontEnd::FileDialogKind kind) {
  std::optional<std::string> path =
      front_end_.ChooseProtocolFile(kind, ReadTemplateDirectory(settings_, program_path_));
  if (path) WriteTemplateDirectory(settings_, DirectoryPart(*path));
  return path;
}

void FileCommands::ShowFailure(const std::string& what, const std::string& error) {
  // The pane's line of an earlier command would stand beside the box as if
  // this one had gone through: the failure replaces it.
  front_end_.ClearOutput();
  front_end_.AppendOutput(what + ": " + error + "\n");
  front_end_.ShowMessageBox(FrontEnd::MessageKind::kWarning, "Stravon",
                            "Error:  " + what + "\n" + error + "\n");
}

FileCommandResult FileCommands::Open(bool settings_read, TestSequence& protocol,
                                     StageModel& stage) {
  if (!settings_read) return FileCommandResult::kNotReady;
  const std::optional<std::string> path = ChooseFile(FrontEnd::FileDialogKind::kOpen);
  if (!path) return FileCommandResult::kCancelled;
  std::string error;
  if (!ReadProtocolFile(*path, protocol, &error)) {
    ShowFailure("Protocol File Not Opened", error);
    return FileCommandResult::kFailed;
  }
  last_file_ = *path;
  ShowOpened(protocol, stage);
  return FileCommandResult::kDone;
}

void FileCommands::ShowOpened(const TestSequence& protocol, StageModel& stage) {
  stage.RefreshFromDocument(protocol);
  front_end_.ClearOutput();
  front_end_.AppendOutput("Protocol File Successfully Opened\n");
}

FileCommandResult FileCommands::Save(TestSequence& protocol) {
  const std::optional<std::string> path = ChooseFile(FrontEnd::FileDialogKind::kSave);
  if (!path) return FileCommandResult::kCancelled;
  std::string error;
  if (!WriteProtocolFile(*path, protocol, &error)) {
    ShowFailure("Protocol File Not Saved", error);
    return FileCommandResult::kFailed;
  }
  front_end_.ClearOutput();
  last_file_ = *path;
  front_end_.AppendOutput("Protocol File Successfully Saved\n");
  return FileCommandResult::kDone;
}

}  // namespace stravon
