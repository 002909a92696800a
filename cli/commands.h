// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "cli/console.h"

namespace stravon::cli {

// Options every command takes.
struct GlobalOptions {
  // A port to use instead of the one detection picks (tty name or path).
  std::string port;
  // Per-byte reply time-out; the unit's protocol allows 20 s.
  int timeout_ms = 20000;
};

// Hardware settings for the offline commands. Values not given are taken
// from the attached unit.
struct GivenSettings {
  std::optional<double> pitch;
  std::optional<double> soft_limit;
  std::optional<double> min_size;
};

struct SettingsProgramOptions {
  std::optional<std::string> offset;
  std::optional<std::string> soft_limit;
  bool restore_defaults = false;
  bool factory = false;
  std::optional<std::string> series;
  std::optional<std::string> model;
  std::optional<std::string> stroke;
  std::optional<std::string> pitch;
};

// Each returns the exit status (exit_status.h) after reporting.
int RunPorts(Console& console, bool json);
// check fails on a refusal, and with `strict` on a warning too.
int RunCheck(const GlobalOptions& options, Console& console, const std::string& file,
             const GivenSettings& given, bool json, bool strict);
int RunCompile(const GlobalOptions& options, Console& console, const std::string& file,
               const GivenSettings& given, const std::string& output);
int RunDecode(Console& console, const std::string& image_file, double pitch,
              std::optional<double> min_size, const std::optional<std::string>& output);

int RunInfo(const GlobalOptions& options, Console& console, bool json);
// program refuses a protocol with warnings unless `force`.
int RunProgram(const GlobalOptions& options, Console& console, const std::string& file, bool verify,
               bool force);
int RunRead(const GlobalOptions& options, Console& console,
            const std::optional<std::string>& output);
int RunSettingsShow(const GlobalOptions& options, Console& console, bool json);
int RunSettingsProgram(const GlobalOptions& options, Console& console,
                       const SettingsProgramOptions& program);
int RunSettingsBackup(const GlobalOptions& options, Console& console, const std::string& file);
int RunSettingsRestore(const GlobalOptions& options, Console& console, const std::string& file);
int RunStatus(const GlobalOptions& options, Console& console, bool json);
int RunMove(const GlobalOptions& options, Console& console, const std::string& size);
int RunJog(const GlobalOptions& options, Console& console, bool plus, double seconds);

}  // namespace stravon::cli
