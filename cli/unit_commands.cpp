// SPDX-License-Identifier: GPL-3.0-or-later
// The commands that talk to the unit. Each asks the document for the same
// requests the desktop program's menus and dialogs ask for, and reports how
// they ended.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/input_file.h"
#include "cli/interrupt.h"
#include "cli/output_file.h"
#include "cli/protocol_report.h"
#include "cli/settings_backup.h"
#include "cli/unit_session.h"
#include "device/operation_outcome.h"
#include "device/program_image.h"
#include "device/session_request.h"
#include "protocol/file_io.h"
#include "protocol/number_text.h"
#include "protocol/protocol_file.h"
#include "ui/field_text.h"
#include "ui/finding_text.h"
#include "ui/hardware_dialog.h"
#include "ui/move_to_size.h"
#include "ui/protocol_judgement.h"
#include "ui/session_text.h"
#include "ui/settings_store.h"

namespace stravon::cli {
namespace {

using Clock = std::chrono::steady_clock;

// After a program whose pages were all taken but whose read-back failed.
constexpr const char* kUnverifiedProgramText =
    "The protocol was written but could not be read back to verify it; read it back or program "
    "it again before running it.";

nlohmann::json SettingsJson(const HardwareSettings& settings) {
  return {{"series_name", settings.SeriesText()},
          {"model_number", settings.ModelNumber},
          {"motor_pitch_mm", ShortNumber(settings.MotorPitch)},
          {"minimum_specimen_size_mm", ShortNumber(settings.MinimumSpecimenSize)},
          {"travel_soft_limit_mm", ShortNumber(settings.TravelSoftLimit)},
          {"stroke_steps", settings.Stroke},
          {"actuator_stroke_mm", ShortNumber(settings.ActuatorStroke())},
          {"offset_position_steps", settings.OffsetPosition},
          {"offset_mm", ShortNumber(settings.Offset())},
          {"initial_specimen_size_mm", ShortNumber(settings.InitialSpecimenSize())}};
}

// Reports how an operation ended: 0 when it was done, else 1 after the
// reason was reported. `operation` names it where the outcome shows no line.
int ReportOutcome(UnitSession& session, Console& console, const Outcome& outcome,
                  const std::string& operation) {
  if (outcome.Done()) {
    console.Note(OutcomeLine(outcome) + "\n");
    return kExitDone;
  }
  // A refused commit, or a unit that went away, shows a message box.
  if (session.ReportMessages()) return kExitFailed;
  // The line names the cause of a failure; a cancel is a cancel.
  std::string line = OutcomeLine(outcome);
  if (line.empty()) {
    line = "Error:  " + operation + " did not run: the unit's port is not open.";
  } else if (Interrupted() && outcome.kind == Outcome::Kind::kCancelled) {
    line += " (interrupted)";
  }
  if (const std::string held = HeldProgramText(outcome); !held.empty()) line += "\n" + held;
  console.Error(line);
  return kExitFailed;
}

// Runs an operation that always runs to its end (a transfer or the settings
// write) and reports how it ended, as ReportOutcome.
int RunToEnd(UnitSession& session, Console& console, Operation operation,
             const std::function<Submission()>& submit, const std::string& name) {
  const UnitSession::Ran ran =
      session.RunOperation(operation, [&] { return std::optional<Submission>(submit()); });
  if (ran.refused) return kExitFailed;
  return ReportOutcome(
      session, console,
      ran.finished ? ran.finished->outcome : Outcome::Of(operation, Outcome::Kind::kNotConnected),
      name);
}

bool WriteBytes(Console& console, const std::string& path, std::string_view bytes) {
  return WriteOutput(console, path, "", bytes);
}

std::string FirmwareText(std::int32_t revision) { return FormatGeneral(revision / 1000.0); }

// Programs `settings` through the worker and reports the outcome.
int ProgramSettings(UnitSession& session, Console& console, const HardwareSettings& settings) {
  const int status = RunToEnd(
      session, console, Operation::kProgramHardwareSettings,
      [&] { return session.Doc().ProgramSettings(settings); }, "Programming Hardware Settings");
  // The settings changed event comes before the end.
  if (status == kExitDone && !console.Quiet()) {
    console.Result(SettingsDescription(session.Unit().settings));
  }
  return status;
}

// Where the motion left the unit, for a sentence: a failed status query
// leaves no offset to show.
std::string ReachedText(const std::string& offset) {
  return offset.empty() ? "at an offset the unit did not report"
                        : "at an offset of " + offset + " mm";
}

}  // namespace

int RunInfo(const GlobalOptions& options, Console& console, bool json) {
  UnitSession session(options, console);
  if (!session.Connect(false)) return kExitFailed;
  session.StopWorker();
  const UnitIdentification& unit = session.Unit().identification;
  const bool settings_read = session.Unit().settings_read;
  const HardwareSettings settings = session.Unit().settings;

  if (json) {
    nlohmann::json info = {{"port", session.PortName()},
                           {"identification", unit.entries},
                           {"firmware_revision", FirmwareText(unit.firmware_revision)},
                           {"software_number", unit.software_number},
                           {"settings", settings_read ? SettingsJson(settings) : nullptr}};
    console.Result(JsonText(info));
  } else {
    std::string text = "port                   " + session.PortName() + "\n";
    for (std::size_t i = 0; i < unit.entries.size(); ++i) {
      text += "identification " + std::to_string(i) + "       " + Escaped(unit.entries[i]) + "\n";
    }
    text += "firmware revision      " + FirmwareText(unit.firmware_revision) + "\n";
    text += "software number        " + std::to_string(unit.software_number) + "\n";
    text += settings_read ? SettingsDescription(settings)
                          : std::string("hardware settings      not programmed\n");
    console.Result(text);
  }
  if (!settings_read) {
    if (!session.ReportMessages()) {
      const std::string cause = OutcomeLine(session.Unit().settings_outcome);
      console.Error("Error:  Cannot read the unit's hardware settings" +
                    (cause.empty() ? std::string(".") : ": " + cause));
    }
    return kExitFailed;
  }
  return kExitDone;
}

int RunSettingsShow(const GlobalOptions& options, Console& console, bool json) {
  // Made before the session, so that it lasts until the session has stopped
  // the motion.
  const MotionGuard guard;
  UnitSession session(options, console);
  if (!session.Connect(true)) return kExitFailed;
  const HardwareSettings settings = session.Unit().settings;
  console.Result(json ? JsonText(SettingsJson(settings)) : SettingsDescription(settings));
  return kExitDone;
}

int RunProgram(const GlobalOptions& options, Console& console, const std::string& file, bool verify,
               bool force) {
  // A file that does not read as it looks fails before the unit is touched.
  TestSequence sequence;
  std::string error;
  if (!LoadProtocolFile(file, sequence, &error)) {
    console.Error(ErrorText(error));
    return kExitFailed;
  }
  // Made before the session, so that it lasts until the session has ended.
  const TransferGuard guard;
  UnitSession session(options, console);
  if (!session.Connect(true)) return kExitFailed;

  // The document's commit refuses as it does here; refused before the unit
  // is written. The sets come from a file, not from the set editor: one the
  // editor would not accept as it will run is programmed only when the
  // person says so, and then exactly as the desktop program would.
  const std::vector<Finding> findings = JudgeProtocol(sequence, session.Unit().settings);
  if (Refuses(findings)) {
    console.Error(RefusalText(findings));
    return kExitFailed;
  }
  if (Warns(findings)) {
    const std::string text = WarningsText(findings);
    if (!force) {
      console.Error(text +
                    "Error:  Not programmed. Give --force to program the protocol as it stands.");
      return kExitFailed;
    }
    console.Error(text);
  }

  session.Doc().Load(sequence);
  const UnitSession::Ran ran = session.RunOperation(
      Operation::kProgramDevice, [&] { return session.Doc().ProgramDevice(verify); });
  if (ran.refused) return kExitFailed;
  const Outcome outcome =
      ran.finished ? ran.finished->outcome
                   : Outcome::Of(Operation::kProgramDevice, Outcome::Kind::kNotConnected);
  if (outcome.step != Outcome::Step::kVerify) {
    const int status = ReportOutcome(session, console, outcome, "Programming Device");
    if (status != kExitDone || !verify) return status;
    console.Note("Reading Device... Success\n");
    console.Note("Verified: the unit holds the " + std::to_string(kProgramImageSize) +
                 " bytes written.\n");
    return kExitDone;
  }

  // The write went through; the read-back failed or found a difference.
  console.Note(OutcomeLine(Outcome::Of(Operation::kProgramDevice)) + "\n");
  if (!outcome.mismatch) {
    const int status = ReportOutcome(session, console,
                                     Outcome::Of(Operation::kReadDevice, outcome.kind,
                                                 Outcome::Step::kReadProgram, outcome.failure),
                                     "Reading Device");
    // Every page was taken, so the unit most likely runs the new protocol,
    // but nobody has seen it do so.
    console.Error(kUnverifiedProgramText);
    return status;
  }
  console.Note(OutcomeLine(Outcome::Of(Operation::kReadDevice)) + "\n");
  char text[200];
  std::snprintf(text, sizeof text,
                "Error:  Verification failed: the unit holds 0x%02X at address 0x%04X where "
                "0x%02X was written.",
                static_cast<unsigned>(outcome.mismatch->read),
                static_cast<unsigned>(outcome.mismatch->address),
                static_cast<unsigned>(outcome.mismatch->written));
  console.Error(text);
  // The document showed the same as its error box; the line above says it here.
  session.FrontEnd().TakeMessages();
  console.Error(outcome.program_area_cleared
                    ? kProgramAreaClearedText
                    : "The unit may still hold what it read back; program it again before "
                      "running it.");
  return kExitFailed;
}

int RunRead(const GlobalOptions& options, Console& console,
            const std::optional<std::string>& output) {
  UnitSession session(options, console);
  if (!session.Connect(true)) return kExitFailed;
  if (const int status = RunToEnd(
          session, console, Operation::kReadDevice, [&] { return session.Doc().ReadDevice(); },
          "Reading Device");
      status != kExitDone) {
    return status;
  }
  session.StopWorker();
  // A read that went through is the document's protocol now.
  const TestSequence& protocol = session.Doc().Protocol();
  if (protocol.sets.empty()) console.Note(std::string(kNoProtocolStoredText) + "\n");
  return OutputProtocol(console, protocol, output) ? kExitDone : kExitFailed;
}

int RunSettingsProgram(const GlobalOptions& options, Console& console,
                       const SettingsProgramOptions& program) {
  if (!program.offset && !program.soft_limit && !program.restore_defaults && !program.series &&
      !program.model && !program.stroke && !program.pitch) {
    console.Error(
        "Error:  Nothing to program: give --offset, --soft-limit, --restore-defaults or, with "
        "--factory, --series, --model, --stroke or --pitch.");
    return kExitUsage;
  }
  const TransferGuard guard;
  UnitSession session(options, console);
  if (!session.Connect(true)) return kExitFailed;

  MemorySettingsStore store;
  store.WriteInteger(kSettingsSection, kFactoryAccessValue, program.factory ? 1 : 0);
  HardwareDialog dialog(session.Unit().settings, store);
  HardwareDialogFields fields =
      program.restore_defaults ? dialog.RestoreDefaults() : dialog.Fields();
  if (program.offset) fields.offset = *program.offset;
  if (program.soft_limit) fields.travel_soft_limit = *program.soft_limit;
  if (program.series) fields.series_name = *program.series;
  if (program.model) fields.model_number = *program.model;
  if (program.stroke) fields.actuator_stroke = *program.stroke;
  if (program.pitch) fields.motor_pitch = *program.pitch;

  const HardwareProgramResult result = dialog.Program(fields);
  switch (result.outcome) {
    case HardwareProgramResult::Outcome::kFieldError: {
      static constexpr const char* kOptions[] = {"--series",     "--model",  "--offset",
                                                 "--soft-limit", "--stroke", "--pitch"};
      console.Error(
          ErrorText(std::string(kOptions[static_cast<int>(result.field)]) + ": " + result.message));
      return kExitUsage;
    }
    case HardwareProgramResult::Outcome::kRefused:
      console.Error(result.message);
      return kExitFailed;
    case HardwareProgramResult::Outcome::kPost:
      break;
  }
  return ProgramSettings(session, console, result.settings);
}

int RunSettingsBackup(const GlobalOptions& options, Console& console, const std::string& file) {
  UnitSession session(options, console);
  if (!session.Connect(true)) return kExitFailed;
  session.StopWorker();
  const HardwareSettings settings = session.Unit().settings;
  std::string origin = settings.ModelLine() + " on " + session.PortName();
  const std::vector<std::string>& identification = session.Unit().identification.entries;
  if (identification.size() > 2) origin += " (" + Escaped(identification[2]) + ")";
  if (!WriteBytes(console, file, BackupText(EncodeSettingsBlock(settings), origin))) {
    return kExitFailed;
  }
  console.Note("Saved the hardware settings of " + settings.ModelLine() + " to " + file + "\n");
  return kExitDone;
}

int RunSettingsRestore(const GlobalOptions& options, Console& console, const std::string& file) {
  std::string contents;
  std::string error;
  if (!ReadInputFile(console, file, &contents)) return kExitFailed;
  SettingsBlock block{};
  if (!ParseBackup(contents, &block, &error)) {
    console.Error(ErrorText(file + ": " + error));
    return kExitFailed;
  }
  const HardwareSettings settings = DecodeSettingsBlock(block);
  // Each field on its own first: the dialog's checks build on the pitch,
  // and would measure the other fields with a wrong one.
  if (const std::vector<std::string> problems = BackupProblems(settings); !problems.empty()) {
    console.Error(BackupRefusalText(file, problems));
    return kExitFailed;
  }
  // The checks of the settings dialog with factory access (all fields
  // editable), on the backup's own values; then the unit's own test, which
  // would otherwise refuse the block at the next connection.
  MemorySettingsStore store;
  store.WriteInteger(kSettingsSection, kFactoryAccessValue, 1);
  HardwareDialog dialog(settings, store);
  const HardwareProgramResult checked = dialog.Program(dialog.Fields());
  if (checked.outcome != HardwareProgramResult::Outcome::kPost) {
    console.Error(BackupRefusalText(file, {checked.message}));
    return kExitFailed;
  }

  // A unit whose settings were lost is what a backup is for: connecting
  // does not require them.
  const TransferGuard guard;
  UnitSession session(options, console);
  if (!session.Connect(false)) return kExitFailed;
  session.FrontEnd().TakeMessages();
  return ProgramSettings(session, console, settings);
}

int RunStatus(const GlobalOptions& options, Console& console, bool json) {
  UnitSession session(options, console);
  if (!session.Connect(true)) return kExitFailed;
  // Connecting ends with a status query; its failure is in the message log.
  const UnitSnapshot& unit = session.Unit();
  if (!unit.position) {
    const std::string cause = CauseText(Outcome::Of(Operation::kNone, Outcome::Kind::kFailed,
                                                    Outcome::Step::kNone, unit.status_failure));
    console.Error(ErrorText("The unit did not report its position" +
                            (cause.empty() ? "" : ": " + cause) + "."));
    return kExitFailed;
  }
  const HardwareSettings& settings = unit.settings;
  if (json) {
    nlohmann::json status = {
        {"port", session.PortName()}, {"model", settings.ModelName()}, {"offset_mm", unit.offset}};
    console.Result(JsonText(status));
  } else {
    console.Result(settings.ModelLine() + " on " + session.PortName() + "\nOffset (mm) " +
                   FormatFixed(unit.offset, 2) + "\n");
  }
  return kExitDone;
}

int RunMove(const GlobalOptions& options, Console& console, const std::string& size) {
  // A size that is no number is a mistake on the command line; it need not
  // wait for the unit.
  if (float number = 0.0f; !ParseFloatField(size, number)) {
    console.Error(ErrorText("SIZE_MM: " + std::string(kEnterNumber)));
    return kExitUsage;
  }
  // Made before the session, so that it lasts until the session has stopped
  // the motion.
  const MotionGuard guard;
  UnitSession session(options, console);
  if (!session.Connect(true)) return kExitFailed;
  const HardwareSettings settings = session.Unit().settings;
  MoveToSizeFields fields = OpenMoveToSize(session.Unit().offset, settings);
  fields.new_size = size;
  const MoveToSizeResult result = AcceptMoveToSize(fields, settings);
  switch (result.outcome) {
    case MoveToSizeResult::Outcome::kFieldError:
      console.Error(ErrorText("SIZE_MM: " + result.message));
      return kExitUsage;
    case MoveToSizeResult::Outcome::kRefused:
      console.Error(result.message + "\tMinimum Size = " + fields.minimum_size +
                    "\n\tMaximum Size = " + fields.maximum_size + "\n");
      return kExitFailed;
    case MoveToSizeResult::Outcome::kMove:
      break;
  }

  const UnitSession::Ran ran = session.RunOperation(Operation::kMove, [&] {
    return std::optional<Submission>(session.Doc().Move(result.target));
  });
  if (ran.refused) return kExitFailed;
  const Outcome outcome = ran.finished
                              ? ran.finished->outcome
                              : Outcome::Of(Operation::kMove, Outcome::Kind::kNotConnected);
  // A target the unit refused, or a stop it did not take: the box says which.
  if (session.ReportMessages()) return kExitFailed;
  const std::string reached = session.OffsetText();
  if (SuspendIfAsked()) {
    console.Error("Error:  The move was stopped " + ReachedText(reached) +
                  " when the program was suspended; it does not resume.");
    return kExitFailed;
  }
  if (outcome.kind == Outcome::Kind::kCancelled) {
    console.Error("Error:  Interrupted; the unit stopped " + ReachedText(reached) + ".");
    return kExitFailed;
  }
  const std::string wanted = FormatFixed(settings.OffsetShown(result.target), 2);
  if (!outcome.Done()) {
    const std::string cause = CauseText(outcome);
    console.Error(ErrorText("The unit stopped " + ReachedText(reached) + ", short of " + wanted +
                            " mm" + (cause.empty() ? "." : ": " + cause + ".")));
    return kExitFailed;
  }
  console.Note("Offset (mm) " + reached + "\n");
  return kExitDone;
}

int RunJog(const GlobalOptions& options, Console& console, bool plus, double seconds) {
  // Made before the session, so that it lasts until the session has stopped
  // the motion.
  const MotionGuard guard;
  UnitSession session(options, console);
  if (!session.Connect(true)) return kExitFailed;
  if (!session.StartJog(plus ? JogDirection::kPlus : JogDirection::kMinus)) return kExitFailed;
  const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                   std::chrono::duration<double>(seconds));
  std::string problem;
  switch (session.KeepJogging(end)) {
    case UnitSession::JogEnd::kNone:
      break;
    case UnitSession::JogEnd::kInterrupted:
      problem = "Error:  Interrupted; the jog was stopped early.";
      break;
    case UnitSession::JogEnd::kUnitGone:
      problem = "Error:  The unit went away during the jog.";
      break;
    case UnitSession::JogEnd::kFailed: {
      // Said by the Document's box where an exchange failed.
      const Outcome failed = Outcome::Of(Operation::kJogPlus, Outcome::Kind::kFailed,
                                         Outcome::Step::kNone, session.JogFailure());
      problem = ErrorText("The jog was stopped after a failed exchange: " + CauseText(failed));
      break;
    }
  }
  if (!session.StopJog()) {
    console.Error(
        "Error:  The unit did not confirm that the jog stopped; check it before going on.");
    return kExitFailed;
  }
  // A start or a stop the unit refused or did not answer: the box says which.
  if (session.ReportMessages()) return kExitFailed;
  if (SuspendIfAsked()) {
    console.Error(
        "Error:  The jog was stopped when the program was suspended; it does not "
        "resume.");
    return kExitFailed;
  }
  if (!problem.empty()) {
    console.Error(problem);
    return kExitFailed;
  }
  if (session.OffsetText().empty()) {
    console.Error("Error:  The jog stopped, but the unit did not report its position.");
    return kExitFailed;
  }
  console.Note("Offset (mm) " + session.OffsetText() + "\n");
  return kExitDone;
}

}  // namespace stravon::cli
