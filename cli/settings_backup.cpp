// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/settings_backup.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <sstream>
#include <vector>

#include "cli/console.h"
#include "cli/protocol_report.h"
#include "ui/finding_text.h"

namespace stravon::cli {
namespace {

constexpr std::size_t kBytesPerLine = 16;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool HexByte(std::string_view token, int* value) {
  if (token.size() != 2) return false;
  const int high = HexDigit(token[0]);
  const int low = HexDigit(token[1]);
  if (high < 0 || low < 0) return false;
  *value = high * 16 + low;
  return true;
}

bool Within(double value, double low, double high) { return value >= low && value <= high; }

// A limit as written in the tables: 0.00001, not 1e-05.
std::string Limit(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return std::string(text, result.ptr);
}

}  // namespace

std::vector<std::string> BackupProblems(const HardwareSettings& settings) {
  std::vector<std::string> problems;
  const auto length = [&](const char* name, float value, double low, double high,
                          const char* unit) {
    if (Within(value, low, high)) return;
    problems.push_back(std::string(name) + " " + ShortText(value) + " " + unit + ": a unit takes " +
                       Limit(low) + " to " + Limit(high));
  };
  length("motor pitch", settings.MotorPitch, kMinimumMotorPitch, kMaximumMotorPitch, "mm per step");
  length("minimum specimen size", settings.MinimumSpecimenSize, 0.0, kMaximumMinimumSpecimenSize,
         "mm");
  length("travel soft limit", settings.TravelSoftLimit, kMinimumTravelSoftLimit,
         kMaximumTravelSoftLimit, "mm");
  // Held negated: the most negative count has no positive twin.
  if (settings.Stroke >= 0 || settings.Stroke == std::numeric_limits<std::int32_t>::min()) {
    problems.push_back("stroke " + std::to_string(settings.Stroke) +
                       " steps: a unit takes -2147483647 to -1");
  }
  const std::string series = settings.SeriesText();
  if (std::any_of(series.begin(), series.end(), [](char c) { return c < 0x20 || c == 0x7F; })) {
    problems.push_back("series name " + Quoted(series) + ": control bytes are no name");
  }
  return problems;
}

std::string BackupRefusalText(const std::string& file, const std::vector<std::string>& problems) {
  constexpr std::string_view kPrefix = "Error:  ";
  std::string text = ErrorText(file + " holds settings that a unit does not accept:");
  for (const std::string& problem : problems) {
    std::istringstream lines(problem);
    for (std::string line; std::getline(lines, line);) {
      if (line.starts_with(kPrefix)) line.erase(0, kPrefix.size());
      if (line.starts_with('\t')) line.replace(0, 1, "  ");
      text += "\n  " + line;
    }
  }
  return text;
}

std::string SettingsDescription(const HardwareSettings& settings) {
  std::ostringstream out;
  out << "series name            " << Escaped(settings.SeriesText()) << "\n"
      << "model number           " << settings.ModelNumber << "\n"
      << "motor pitch            " << ShortText(settings.MotorPitch) << " mm per step\n"
      << "minimum specimen size  " << ShortText(settings.MinimumSpecimenSize) << " mm\n"
      << "travel soft limit      " << ShortText(settings.TravelSoftLimit) << " mm\n"
      << "stroke                 " << settings.Stroke << " steps ("
      << ShortText(settings.ActuatorStroke()) << " mm)\n"
      << "offset position        " << settings.OffsetPosition << " steps (offset "
      << ShortText(settings.Offset()) << " mm)\n"
      << "initial specimen size  " << ShortText(settings.InitialSpecimenSize()) << " mm\n";
  return out.str();
}

std::string BackupText(const SettingsBlock& block, const std::string& origin) {
  std::string text =
      "# Hardware settings of a stretching device's control unit, saved by stravon-cli\n"
      "# from " +
      origin +
      ".\n# \"stravon-cli settings restore FILE\" programs the block below back into a unit;\n"
      "# the description above it is for reading only.\n\n";
  text += SettingsDescription(DecodeSettingsBlock(block));
  text += "\n";
  for (std::size_t line = 0; line < block.size() / kBytesPerLine; ++line) {
    char cell[24];
    std::snprintf(cell, sizeof cell, "%02zx", line * kBytesPerLine);
    text += std::string("block ") + cell;
    for (std::size_t i = 0; i < kBytesPerLine; ++i) {
      std::snprintf(cell, sizeof cell, " %02x", block[line * kBytesPerLine + i]);
      text += cell;
    }
    text += "\n";
  }
  return text;
}

bool ParseBackup(std::string_view text, SettingsBlock* block, std::string* error) {
  std::size_t filled = 0;
  std::istringstream in{std::string(text)};
  std::string line;
  int line_number = 0;
  while (std::getline(in, line)) {
    ++line_number;
    std::istringstream words(line);
    std::string word;
    if (!(words >> word) || word != "block") continue;
    const auto fail = [&](const std::string& what) {
      *error = "line " + std::to_string(line_number) + ": " + what;
      return false;
    };
    int offset = 0;
    if (!(words >> word) || !HexByte(word, &offset) || static_cast<std::size_t>(offset) != filled) {
      return fail("expected the block line for offset " + std::to_string(filled));
    }
    for (std::size_t i = 0; i < kBytesPerLine; ++i) {
      int value = 0;
      if (!(words >> word) || !HexByte(word, &value)) {
        return fail("expected 16 bytes in hexadecimal");
      }
      (*block)[filled++] = static_cast<std::uint8_t>(value);
    }
    if (words >> word) return fail("more than 16 bytes");
    if (filled == block->size()) return true;
  }
  *error = filled == 0 ? "no settings block in the file"
                       : "the settings block ends after " + std::to_string(filled) + " bytes";
  return false;
}

}  // namespace stravon::cli
