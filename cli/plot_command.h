// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/console.h"
#include "device/motion_profile.h"
#include "protocol/file_io.h"

namespace stravon::cli {

struct PlotOptions {
  std::string file;
  std::optional<std::string> output;  // default: standard output
  std::optional<double> step;         // sample every so many seconds; default: breakpoints
  std::optional<std::string> settings_backup;
  bool json = false;
};

// `plot`: what the unit would do with a protocol, as position over time.
int RunPlot(const GlobalOptions& options, Console& console, const PlotOptions& plot);

// The points of a plot: the profile's breakpoints, or samples every `step`
// seconds from 0 to the end (the end included). `visit` returns false to
// stop.
void ForEachPlotPoint(const MotionProfile& profile, std::optional<double> step,
                      const std::function<bool(double seconds, double mm)>& visit);
// "time_s,position_mm" and one line per point.
std::string PlotCsv(const MotionProfile& profile, std::optional<double> step);
// The profile's sets and phases, with composed and real durations, and the
// points.
nlohmann::json PlotJson(const MotionProfile& profile, std::optional<double> step,
                        const HardwareSettings& settings, const std::string& settings_source);

// The plot's text handed to `write` in pieces of bounded size, so that a plot
// of millions of points never sits in memory whole: the CSV, or with
// `settings` the compact dump of PlotJson and a line break, byte for byte.
// False when `write` refused a piece.
bool WritePlotCsv(const MotionProfile& profile, std::optional<double> step,
                  const PieceWriter& write);
bool WritePlotJson(const MotionProfile& profile, std::optional<double> step,
                   const HardwareSettings& settings, const std::string& settings_source,
                   const PieceWriter& write);

}  // namespace stravon::cli
