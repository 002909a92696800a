// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_app.h"

#include <cstdint>
#include <exception>
#include <limits>
#include <sstream>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/plot_command.h"
#include "protocol/number_text.h"
#include "stravon/version.h"
#include "ui/field_text.h"
#include "ui/finding_text.h"

namespace stravon::cli {
namespace {

constexpr const char* kDescription =
    "stravon-cli: program, read and move the stretching device's control unit, and check, "
    "compile and decode protocols, from the command line.\n"
    "Exit status: 0 done, 1 failed (the reason on standard error), 2 bad usage.";

// Numbers on the command line are written as a person writes them: no NaN,
// no infinity, no hexadecimal (which the option parser would take).
const CLI::Validator kDecimal(
    [](std::string& text) {
      double value = 0.0;
      return ParseNumberField(text, value) ? std::string() : "not a finite decimal number";
    },
    "NUMBER");
const CLI::Validator kDecimalInteger(
    [](std::string& text) {
      std::int64_t value = 0;
      return ParseIntegerField(text, std::numeric_limits<std::int64_t>::min(),
                               std::numeric_limits<std::int64_t>::max(), value)
                 ? std::string()
                 : "not a decimal integer";
    },
    "INT");

void AddSettingsOptions(CLI::App* command, GivenSettings& given, bool required) {
  CLI::Option* pitch = command->add_option("--pitch", given.pitch, "motor pitch, mm per step")
                           ->check(kDecimal)
                           ->check(CLI::PositiveNumber);
  CLI::Option* soft_limit =
      command->add_option("--soft-limit", given.soft_limit, "travel soft limit, mm")
          ->check(kDecimal);
  command->add_option("--min-size", given.min_size, "minimum specimen size, mm (default 0)")
      ->check(kDecimal);
  if (required) {
    pitch->required();
    soft_limit->required();
  }
}

}  // namespace

int RunCli(int argc, char** argv, std::FILE* out, std::FILE* err) {
  CLI::App app{kDescription, "stravon-cli"};
  app.require_subcommand(1);
  app.fallthrough();
  app.set_version_flag("--version", "stravon-cli " + std::string(kVersion));

  GlobalOptions options;
  bool quiet = false;
  bool verbose = false;
  app.add_option("--port", options.port, "use this port (tty name or path) instead of detection");
  app.add_option("--timeout", options.timeout_ms, "per-byte reply time-out in ms (default 20000)")
      ->check(kDecimalInteger)
      ->check(CLI::Range(1, 600000));
  CLI::Option* quiet_flag = app.add_flag("-q,--quiet", quiet, "only errors and results");
  app.add_flag("-v,--verbose", verbose, "also what the unit and the core report on the way")
      ->excludes(quiet_flag);

  bool json = false;

  CLI::App* ports = app.add_subcommand("ports", "list the serial ports, the detected unit marked");
  ports->add_flag("--json", json, "as JSON");

  std::string file;
  GivenSettings given;
  bool strict = false;
  CLI::App* check = app.add_subcommand(
      "check",
      "show a protocol's rows, totals and checks; exit 1 when the sequence is refused (sets the "
      "set editor would not accept only warn)");
  check->add_option("FILE", file, "protocol file (.tmt)")->required();
  AddSettingsOptions(check, given, false);
  check->add_flag("--json", json, "as JSON");
  check->add_flag("--strict", strict, "exit 1 on warnings too");

  std::string output;
  CLI::App* compile = app.add_subcommand(
      "compile", "check a protocol and write the unit's 1408-byte image, warnings or not");
  compile->add_option("FILE", file, "protocol file (.tmt)")->required();
  AddSettingsOptions(compile, given, false);
  compile->add_option("-o,--output", output, "image file to write (-: standard output)")
      ->required();

  std::string image;
  std::optional<std::string> optional_output;
  CLI::App* decode = app.add_subcommand("decode", "turn a 1408-byte image back into a protocol");
  decode->add_option("IMAGE", image, "image file")->required();
  double decode_pitch = 0.0;
  std::optional<double> decode_min_size;
  decode->add_option("--pitch", decode_pitch, "motor pitch, mm per step")
      ->required()
      ->check(kDecimal)
      ->check(CLI::PositiveNumber);
  decode->add_option("--min-size", decode_min_size, "minimum specimen size, mm (default 0)")
      ->check(kDecimal);
  decode->add_option("-o,--output", optional_output,
                     "protocol file to write (- or none: standard output)");

  PlotOptions plot_options;
  CLI::App* plot = app.add_subcommand(
      "plot", "the actuator's position over time as the unit would run a protocol, as CSV");
  plot->add_option("FILE", plot_options.file, "protocol file (.tmt)")->required();
  plot->add_option("-o,--output", plot_options.output, "file to write (default: stdout)");
  plot->add_option("--step", plot_options.step,
                   "sample every so many seconds (default: every breakpoint)")
      ->check(kDecimal);
  plot->add_option("--settings", plot_options.settings_backup,
                   "use the hardware settings of this settings backup, not the unit's");
  plot->add_flag("--json", plot_options.json, "as JSON, with the phases' durations");

  CLI::App* info = app.add_subcommand(
      "info", "the unit's identification, firmware, software number and hardware settings");
  info->add_flag("--json", json, "as JSON");

  // A last commit answered "Error 0" counts as done; only reading the
  // program area back shows that the unit holds the protocol.
  bool verify = true;
  bool force = false;
  CLI::App* program = app.add_subcommand("program", "program a protocol into the unit");
  program->add_option("FILE", file, "protocol file (.tmt)")->required();
  program->add_flag("--verify,!--no-verify", verify,
                    "read the program area back and compare it byte for byte (the default; "
                    "--no-verify skips it)");
  program->add_flag("--force", force,
                    "program a protocol with warnings as it stands, as the desktop program does");

  CLI::App* read = app.add_subcommand("read", "read the protocol stored in the unit");
  read->add_option("-o,--output", optional_output,
                   "protocol file to write (- or none: standard output)");

  CLI::App* settings =
      app.add_subcommand("settings", "show or change the unit's hardware settings");
  settings->add_flag("--json", json, "as JSON");
  SettingsProgramOptions program_options;
  CLI::App* settings_program =
      settings->add_subcommand("program", "program the hardware settings, as the dialog does");
  settings_program->add_option("--offset", program_options.offset, "offset, mm");
  settings_program->add_option("--soft-limit", program_options.soft_limit,
                               "actuator travel soft limit, mm");
  settings_program->add_flag("--restore-defaults", program_options.restore_defaults,
                             "start from the defaults of the unit's series");
  CLI::Option* factory = settings_program->add_flag(
      "--factory", program_options.factory, "factory access: series, model, stroke and pitch");
  settings_program->add_option("--series", program_options.series, "series name")->needs(factory);
  settings_program->add_option("--model", program_options.model, "model number")->needs(factory);
  settings_program->add_option("--stroke", program_options.stroke, "actuator stroke, mm")
      ->needs(factory);
  settings_program->add_option("--pitch", program_options.pitch, "motor pitch, mm per step")
      ->needs(factory);
  CLI::App* settings_backup = settings->add_subcommand(
      "backup", "save the 64-byte settings block with a readable description");
  settings_backup->add_option("FILE", file, "backup file")->required();
  CLI::App* settings_restore =
      settings->add_subcommand("restore", "program a saved settings block back into the unit");
  settings_restore->add_option("FILE", file, "backup file")->required();

  CLI::App* status = app.add_subcommand("status", "the offset for the unit's current position");
  status->add_flag("--json", json, "as JSON");

  std::string size;
  CLI::App* move = app.add_subcommand("move", "move the actuator to a specimen size");
  move->add_option("SIZE_MM", size, "new specimen size, mm")->required();

  std::string direction;
  double seconds = 0.0;
  CLI::App* jog = app.add_subcommand("jog", "jog the actuator for a while");
  jog->add_option("DIRECTION", direction, "+ (stretch) or - (relax)")
      ->required()
      ->check(CLI::IsMember({"+", "-", "plus", "minus"}));
  jog->add_option("--for", seconds, "seconds to jog")
      ->required()
      ->check(kDecimal)
      ->check(CLI::Range(0.0, 3600.0));

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    std::ostringstream out_text;
    std::ostringstream err_text;
    const int code = app.exit(error, out_text, err_text);
    Console console(out, err, Verbosity::kNormal);
    // A word where a command belongs is named as an unknown command, not as
    // an argument nobody expected.
    if (app.get_subcommands().empty() && !app.remaining().empty() &&
        app.remaining().front().rfind('-', 0) != 0) {
      console.Error("stravon-cli: unknown command " + Quoted(app.remaining().front()) +
                    " (see stravon-cli --help)");
      return kExitUsage;
    }
    console.Result(out_text.str());
    if (!err_text.str().empty()) console.Error(err_text.str());
    return code == 0 ? kExitDone : kExitUsage;
  }

  Console console(out, err,
                  quiet     ? Verbosity::kQuiet
                  : verbose ? Verbosity::kVerbose
                            : Verbosity::kNormal);
  try {
    if (*ports) return RunPorts(console, json);
    if (*check) return RunCheck(options, console, file, given, json, strict);
    if (*compile) return RunCompile(options, console, file, given, output);
    if (*decode) return RunDecode(console, image, decode_pitch, decode_min_size, optional_output);
    if (*plot) return RunPlot(options, console, plot_options);
    if (*info) return RunInfo(options, console, json);
    if (*program) return RunProgram(options, console, file, verify, force);
    if (*read) return RunRead(options, console, optional_output);
    if (*settings_program) return RunSettingsProgram(options, console, program_options);
    if (*settings_backup) return RunSettingsBackup(options, console, file);
    if (*settings_restore) return RunSettingsRestore(options, console, file);
    if (*settings) return RunSettingsShow(options, console, json);
    if (*status) return RunStatus(options, console, json);
    if (*move) return RunMove(options, console, size);
    if (*jog) return RunJog(options, console, direction == "+" || direction == "plus", seconds);
  } catch (const std::exception& exception) {
    console.Error(ErrorText(exception.what()));
    return kExitFailed;
  }
  return kExitUsage;
}

}  // namespace stravon::cli
