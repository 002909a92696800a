// SPDX-License-Identifier: GPL-3.0-or-later
// check, compile and decode: protocol work that needs the unit only for its
// hardware settings, and not at all when they are given.
#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/input_file.h"
#include "cli/output_file.h"
#include "cli/protocol_report.h"
#include "cli/unit_session.h"
#include "device/program_image.h"
#include "protocol/file_io.h"
#include "protocol/protocol_file.h"
#include "ui/field_text.h"

namespace stravon::cli {
namespace {

bool Finite(const std::optional<double>& value) { return !value || std::isfinite(*value); }

// The settings to check or compile with: those given, and for the rest the
// attached unit's. False after the reason was reported.
bool ResolveSettings(const GlobalOptions& options, Console& console, const GivenSettings& given,
                     HardwareSettings* settings, std::string* source) {
  if (!Finite(given.pitch) || !Finite(given.soft_limit) || !Finite(given.min_size)) {
    console.Error("Error:  --pitch, --soft-limit and --min-size take finite numbers.");
    return false;
  }
  if (given.pitch && given.soft_limit) {
    *source = "given";
  } else {
    UnitSession session(options, console);
    if (!session.Connect(true)) {
      console.Note(session.ConnectFailure() == Outcome::Cause::kSettingsNotProgrammed
                       ? "The unit's hardware settings are not programmed; give --pitch and "
                         "--soft-limit.\n"
                       : "Without a unit, give --pitch and --soft-limit.\n");
      return false;
    }
    *settings = session.Unit().settings;
    *source = "unit on " + session.PortName();
    if (given.pitch || given.soft_limit || given.min_size) *source += ", some given";
  }
  if (given.pitch) settings->MotorPitch = NarrowToFloat(*given.pitch);
  if (given.soft_limit) settings->TravelSoftLimit = NarrowToFloat(*given.soft_limit);
  if (given.min_size) settings->MinimumSpecimenSize = NarrowToFloat(*given.min_size);
  return true;
}

// Loads, lints and checks a protocol; false after the reason was reported.
// With `json`, a file that does not read as it looks is listed as JSON too.
bool LoadAndCheck(const GlobalOptions& options, Console& console, const std::string& file,
                  const GivenSettings& given, TestSequence* sequence, HardwareSettings* settings,
                  std::string* source, ProtocolReport* report, bool json = false) {
  std::string error;
  std::vector<Finding> file_findings;
  if (!LoadProtocolFile(file, *sequence, &error, &file_findings)) {
    if (json && !file_findings.empty()) {
      console.Result(JsonText({{"file", file},
                               {"accepted", false},
                               {"has_warnings", false},
                               {"findings", FindingsJson(file_findings)}}));
    }
    console.Error(ErrorText(error));
    return false;
  }
  if (!ResolveSettings(options, console, given, settings, source)) return false;
  *report = CheckProtocol(*sequence, *settings);
  return true;
}

}  // namespace

int RunCheck(const GlobalOptions& options, Console& console, const std::string& file,
             const GivenSettings& given, bool json, bool strict) {
  TestSequence sequence;
  HardwareSettings settings;
  std::string source;
  ProtocolReport report;
  if (!LoadAndCheck(options, console, file, given, &sequence, &settings, &source, &report, json)) {
    return kExitFailed;
  }
  if (json) {
    console.Result(JsonText(ReportJson(report, settings, source)));
  } else if (!console.Quiet()) {
    console.Result(ReportText(report, settings, source));
  }
  if (!report.Accepted()) {
    console.Error(RefusalText(report.findings));
    return kExitFailed;
  }
  if (strict && report.HasWarnings()) {
    console.Error(WarningsText(report.findings));
    return kExitFailed;
  }
  return kExitDone;
}

// The image is written whenever the commit check passes: it is what Program
// Device writes, warnings or not, and offline tools may want to look at it.
int RunCompile(const GlobalOptions& options, Console& console, const std::string& file,
               const GivenSettings& given, const std::string& output) {
  TestSequence sequence;
  HardwareSettings settings;
  std::string source;
  ProtocolReport report;
  if (!LoadAndCheck(options, console, file, given, &sequence, &settings, &source, &report)) {
    return kExitFailed;
  }
  if (!report.Accepted()) {
    console.Error(RefusalText(report.findings));
    return kExitFailed;
  }
  if (report.HasWarnings()) console.Error(WarningsText(report.findings));
  DeviceSetTable table{};
  const std::int32_t count = CompileProtocol(sequence, settings, table);
  const ProgramImage image = EncodeProgramImage(table, count);
  const std::string_view bytes(reinterpret_cast<const char*>(image.data()), image.size());
  if (!WriteOutput(console, output, file, bytes)) return kExitFailed;
  console.Note("Compiled " + std::to_string(count) + (count == 1 ? " set" : " sets") + " into " +
               output + " (" + std::to_string(image.size()) + " bytes, " + report.used_memory_text +
               " % used)\n");
  return kExitDone;
}

int RunDecode(Console& console, const std::string& image_file, double pitch,
              std::optional<double> min_size, const std::optional<std::string>& output) {
  if (!std::isfinite(pitch) || !Finite(min_size)) {
    console.Error("Error:  --pitch and --min-size take finite numbers.");
    return kExitFailed;
  }
  std::string contents;
  if (!ReadInputFile(console, image_file, &contents)) return kExitFailed;
  if (contents.size() != kProgramImageSize) {
    console.Error(ErrorText(image_file + " holds " + std::to_string(contents.size()) +
                            " bytes; a program image has " + std::to_string(kProgramImageSize) +
                            "."));
    return kExitFailed;
  }
  ProgramImage image{};
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(contents[i]);

  HardwareSettings settings;
  settings.MotorPitch = NarrowToFloat(pitch);
  settings.MinimumSpecimenSize = NarrowToFloat(min_size.value_or(0.0));
  DeviceSetTable table{};
  const std::int32_t count = DecodeProgramImage(image, table);
  // The unit counts repetitions unsigned; a protocol file holds them signed,
  // and would turn 4294967295 into -1.
  for (std::int32_t i = 0; i < count; ++i) {
    const std::uint32_t repetitions = table[static_cast<std::size_t>(i)].Repetitions;
    if (repetitions > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
      console.Error(ErrorText(image_file + ": set " + std::to_string(i + 1) + " repeats " +
                              std::to_string(repetitions) +
                              " times, more than a protocol file can hold (2147483647)."));
      return kExitFailed;
    }
  }
  TestSequence sequence;
  DeviceSetsToProtocol(table, count, settings, sequence);

  if (!OutputProtocol(console, sequence, output, image_file)) return kExitFailed;
  console.Note("Decoded " + std::to_string(count) + (count == 1 ? " set" : " sets") + "\n");
  return kExitDone;
}

}  // namespace stravon::cli
