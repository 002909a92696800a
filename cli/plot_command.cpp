// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/plot_command.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <system_error>

#include "cli/exit_status.h"
#include "cli/input_file.h"
#include "cli/output_file.h"
#include "cli/protocol_report.h"
#include "cli/settings_backup.h"
#include "cli/unit_session.h"
#include "protocol/file_io.h"
#include "protocol/number_text.h"
#include "protocol/protocol_file.h"

namespace stravon::cli {
namespace {

// More rows than any plotting tool wants; a longer protocol is sampled with
// --step instead.
constexpr std::uint64_t kMaximumRows = 20000000;

// Fixed-point text whatever the locale; -0 prints as 0.
void AppendFixed(std::string& out, double value, int decimals) {
  char buffer[64];
  const double rounded = value == 0.0 ? 0.0 : value;
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed, decimals);
  std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  if (result.ec != std::errc{}) text = "nan";
  // A negative value that rounds to zero.
  if (text.front() == '-' && text.find_first_not_of("-0.") == std::string_view::npos) {
    text.remove_prefix(1);
  }
  out.append(text);
}

// Microseconds and tenths of a micrometre: finer than a step or a tick
// matters for any unit.
constexpr int kTimeDecimals = 6;
constexpr int kPositionDecimals = 6;

double Rounded(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  const double rounded = std::round(value * scale) / scale;
  return rounded == 0.0 ? 0.0 : rounded;
}

// The settings to plot with; false after the reason was reported.
bool ResolveSettings(const GlobalOptions& options, Console& console, const PlotOptions& plot,
                     HardwareSettings* settings, std::string* source) {
  if (plot.settings_backup) {
    const std::string& file = *plot.settings_backup;
    std::string contents;
    std::string error;
    SettingsBlock block{};
    if (!ReadInputFile(console, file, &contents)) return false;
    if (!ParseBackup(contents, &block, &error)) {
      console.Error(ErrorText(file + ": " + error));
      return false;
    }
    *settings = DecodeSettingsBlock(block);
    if (const std::vector<std::string> problems = BackupProblems(*settings); !problems.empty()) {
      console.Error(BackupRefusalText(file, problems));
      return false;
    }
    *source = "backup " + file;
    return true;
  }
  UnitSession session(options, console);
  if (!session.Connect(true)) {
    console.Note("Without a unit, give a settings backup with --settings FILE.\n");
    return false;
  }
  *settings = session.Unit().settings;
  *source = "unit on " + session.PortName();
  return true;
}

}  // namespace

void ForEachPlotPoint(const MotionProfile& profile, std::optional<double> step,
                      const std::function<bool(double seconds, double mm)>& visit) {
  if (!step) {
    profile.ForEachBreakpoint(visit);
    return;
  }
  const double end = profile.Duration();
  // Counted rather than added up, so that the times do not drift.
  for (std::uint64_t i = 0;; ++i) {
    const double t = static_cast<double>(i) * *step;
    if (t >= end) {
      visit(end, profile.PositionMm(end));
      return;
    }
    if (!visit(t, profile.PositionMm(t))) return;
  }
}

namespace {

// Output is collected up to this size before it is handed on.
constexpr std::size_t kPieceBytes = 1 << 16;

// Collects output and hands it on in pieces; remembers a refused piece.
class PieceBuffer {
 public:
  explicit PieceBuffer(const PieceWriter& write) : write_(write) { text_.reserve(kPieceBytes); }

  std::string& Text() { return text_; }
  // Hands the text on once it is large enough (or at once with `all`).
  bool Flush(bool all = false) {
    if (!ok_ || (!all && text_.size() < kPieceBytes) || text_.empty()) return ok_;
    ok_ = write_(text_);
    text_.clear();
    return ok_;
  }

 private:
  const PieceWriter& write_;
  std::string text_;
  bool ok_ = true;
};

using nlohmann::json;

std::string Compact(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

double Seconds(double value) { return Rounded(value, kTimeDecimals); }
double Millimetres(double value) { return Rounded(value, kPositionDecimals); }

// Everything of the JSON plot but its points, which stand in as null.
json PlotSummary(const MotionProfile& profile, const HardwareSettings& settings,
                 const std::string& settings_source) {
  json sets = json::array();
  for (const ProfileSet& set : profile.Sets()) {
    json phases = json::array();
    for (int k = 0; k < 4; ++k) {
      const ProfilePhase& phase = profile.PhaseOf(set, static_cast<ProfilePhaseKind>(k));
      phases.push_back(
          {{"phase", ProfilePhaseName(phase.kind)},
           {"start_s", Seconds(phase.start)},
           {"composed_s", Seconds(phase.intended)},
           {"actual_s", Seconds(phase.seconds)},
           {"longer_than_composed", phase.late},
           {"distance_mm", Millimetres(static_cast<double>(phase.steps) * settings.MotorPitch)},
           {"steps", phase.steps}});
    }
    sets.push_back({{"set", set.number},
                    {"start_s", Seconds(set.start)},
                    {"repetitions", set.repetitions},
                    {"repetition_s", Seconds(set.cycle_seconds)},
                    {"start_mm", Millimetres(set.start_steps * settings.MotorPitch)},
                    {"phases", phases}});
  }
  return {{"settings",
           {{"source", settings_source},
            {"motor_pitch_mm", ShortNumber(settings.MotorPitch)},
            {"travel_soft_limit_mm", ShortNumber(settings.TravelSoftLimit)}}},
          {"duration_s", Seconds(profile.Duration())},
          {"lowest_mm", Millimetres(profile.LowestMm())},
          {"highest_mm", Millimetres(profile.HighestMm())},
          {"beyond_soft_limit", profile.HighestMm() > settings.TravelSoftLimit},
          {"any_longer_than_composed", profile.AnyLate()},
          {"sets", sets},
          {"point_fields", {"time_s", "position_mm"}},
          {"points", nullptr}};
}

std::string Collected(const std::function<bool(const PieceWriter&)>& produce) {
  std::string out;
  produce([&out](std::string_view piece) {
    out.append(piece);
    return true;
  });
  return out;
}

}  // namespace

bool WritePlotCsv(const MotionProfile& profile, std::optional<double> step,
                  const PieceWriter& write) {
  PieceBuffer buffer(write);
  std::string& out = buffer.Text();
  out = "time_s,position_mm\n";
  ForEachPlotPoint(profile, step, [&](double t, double mm) {
    AppendFixed(out, t, kTimeDecimals);
    out += ',';
    AppendFixed(out, mm, kPositionDecimals);
    out += '\n';
    return buffer.Flush();
  });
  return buffer.Flush(true);
}

bool WritePlotJson(const MotionProfile& profile, std::optional<double> step,
                   const HardwareSettings& settings, const std::string& settings_source,
                   const PieceWriter& write) {
  // The object's members are dumped one by one in the order a whole dump
  // would give them (nlohmann keeps keys sorted), the points as they come.
  const json summary = PlotSummary(profile, settings, settings_source);
  PieceBuffer buffer(write);
  std::string& out = buffer.Text();
  out = "{";
  for (auto member = summary.begin(); member != summary.end(); ++member) {
    if (member != summary.begin()) out += ',';
    out += Compact(member.key());
    out += ':';
    if (member.key() != "points") {
      out += Compact(member.value());
      continue;
    }
    out += '[';
    bool first = true;
    ForEachPlotPoint(profile, step, [&](double t, double position) {
      out += first ? "[" : ",[";
      first = false;
      out += Compact(Seconds(t));
      out += ',';
      out += Compact(Millimetres(position));
      out += ']';
      return buffer.Flush();
    });
    out += ']';
  }
  out += "}\n";
  return buffer.Flush(true);
}

std::string PlotCsv(const MotionProfile& profile, std::optional<double> step) {
  return Collected([&](const PieceWriter& write) { return WritePlotCsv(profile, step, write); });
}

json PlotJson(const MotionProfile& profile, std::optional<double> step,
              const HardwareSettings& settings, const std::string& settings_source) {
  json plot = PlotSummary(profile, settings, settings_source);
  json& points = plot["points"] = json::array();
  ForEachPlotPoint(profile, step, [&](double t, double position) {
    points.push_back({Seconds(t), Millimetres(position)});
    return true;
  });
  return plot;
}

int RunPlot(const GlobalOptions& options, Console& console, const PlotOptions& plot) {
  if (plot.step && !(std::isfinite(*plot.step) && *plot.step > 0.0)) {
    console.Error("Error:  --step takes a positive number of seconds.");
    return kExitUsage;
  }
  TestSequence sequence;
  std::string error;
  if (!LoadProtocolFile(plot.file, sequence, &error)) {
    console.Error(ErrorText(error));
    return kExitFailed;
  }
  HardwareSettings settings;
  std::string source;
  if (!ResolveSettings(options, console, plot, &settings, &source)) return kExitFailed;
  const MotionProfile profile = BuildMotionProfile(sequence, settings);

  std::uint64_t rows = 0;
  ForEachPlotPoint(profile, plot.step, [&](double, double) { return ++rows <= kMaximumRows; });
  if (rows > kMaximumRows) {
    const std::string limit = std::to_string(kMaximumRows);
    console.Error(plot.step ? "Error:  --step " + FormatGeneral(*plot.step) +
                                  " would give more than " + limit + " rows; give a longer step."
                            : "Error:  The plot would have more than " + limit +
                                  " rows; sample it with --step SECONDS.");
    return kExitFailed;
  }

  // Compact JSON: the points make up nearly all of it, and it is read by
  // programs.
  const ContentProducer produce = [&](const PieceWriter& write) {
    return plot.json ? WritePlotJson(profile, plot.step, settings, source, write)
                     : WritePlotCsv(profile, plot.step, write);
  };
  const std::string output = plot.output.value_or("-");
  if (!WriteOutput(console, output, plot.file, produce)) return kExitFailed;
  if (output != "-") {
    console.Note("Wrote " + std::to_string(rows) + " points to " + output + "\n");
  }
  if (profile.HighestMm() > settings.TravelSoftLimit) {
    console.Note("The protocol stretches beyond the travel soft limit.\n");
  }
  if (profile.AnyLate()) {
    console.Note("Some phases run longer than composed: the motor cannot make them in time.\n");
  }
  return kExitDone;
}

}  // namespace stravon::cli
