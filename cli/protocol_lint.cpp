// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/protocol_lint.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <set>

#include "protocol/enumerations.h"
#include "ui/field_text.h"

namespace stravon::cli {
namespace {

std::vector<std::string_view> Tokens(std::string_view line) {
  std::vector<std::string_view> tokens;
  constexpr std::string_view kBlanks = " \t\r\v\f";
  std::size_t begin = line.find_first_not_of(kBlanks);
  while (begin != std::string_view::npos) {
    std::size_t end = line.find_first_of(kBlanks, begin);
    if (end == std::string_view::npos) end = line.size();
    tokens.push_back(line.substr(begin, end - begin));
    begin = line.find_first_not_of(kBlanks, end);
  }
  return tokens;
}

template <typename Enum>
bool Known(Enum value) {
  return static_cast<std::int32_t>(value) != -1;
}

bool IsNumber(std::string_view token) {
  double value = 0.0;
  return ParseNumberField(token, value);
}

bool IsInteger(std::string_view token) {
  std::int64_t value = 0;
  return ParseIntegerField(token, std::numeric_limits<std::int32_t>::min(),
                           std::numeric_limits<std::int32_t>::max(), value);
}

// Whether `token` is a value the column's reader takes as written.
bool ValidValue(Instruction column, std::string_view token) {
  switch (column) {
    case Instruction::Name:
      return true;
    case Instruction::XMode:
    case Instruction::YMode:
    case Instruction::ZMode:
      return Known(ControlModeFromName(token));
    case Instruction::XFunction:
    case Instruction::YFunction:
    case Instruction::ZFunction:
      return Known(ControlFunctionFromName(token));
    case Instruction::XUnits:
    case Instruction::YUnits:
    case Instruction::ZUnits:
      return Known(MeasureUnitFromName(token));
    case Instruction::XPreloadType:
    case Instruction::YPreloadType:
    case Instruction::ZPreloadType:
      return Known(PreloadTypeFromName(token));
    case Instruction::NumReps:
    case Instruction::TolCorOver:
      return IsInteger(token);
    case Instruction::DataFreqHz:
      return IsNumber(token) && Known(DataFrequencyFromName(token));
    case Instruction::ImageFreqHz:
      return IsNumber(token) && Known(ImageFrequencyFromName(token));
    case Instruction::TimeUnits:
      return Known(TimeUnitFromName(token));
    default:
      return IsNumber(token);
  }
}

constexpr std::size_t kMaximumFindings = 10;
constexpr std::size_t kExcerptLength = 24;

}  // namespace

std::string Quoted(std::string_view token) {
  // A file is anyone's bytes: no control character reaches the terminal,
  // and a token of megabytes is not echoed whole.
  std::string text = "\"";
  const std::size_t shown = std::min(token.size(), kExcerptLength);
  for (std::size_t i = 0; i < shown; ++i) {
    const auto byte = static_cast<unsigned char>(token[i]);
    if (byte < 0x20 || byte >= 0x7F || byte == '"' || byte == '\\') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      text += "\\x";
      text += kHex[byte >> 4];
      text += kHex[byte & 0x0F];
    } else {
      text += static_cast<char>(byte);
    }
  }
  text += "\"";
  if (shown < token.size()) text += "... (" + std::to_string(token.size()) + " bytes)";
  return text;
}

std::vector<std::string> LintProtocolText(std::string_view contents) {
  std::vector<std::string> findings;
  std::size_t extra = 0;
  const auto add = [&](int line, const std::string& text) {
    if (findings.size() < kMaximumFindings) {
      findings.push_back("line " + std::to_string(line) + ": " + text);
    } else {
      ++extra;
    }
  };

  std::vector<Instruction> columns;
  bool have_header = false;
  int line_number = 0;
  std::size_t begin = 0;
  while (begin < contents.size()) {
    std::size_t end = contents.find('\n', begin);
    if (end == std::string_view::npos) end = contents.size();
    const std::vector<std::string_view> tokens = Tokens(contents.substr(begin, end - begin));
    begin = end + 1;
    ++line_number;
    if (tokens.empty()) continue;

    if (!have_header) {
      have_header = true;
      std::set<std::int32_t> seen;
      for (std::string_view key : tokens) {
        const Instruction column = InstructionFromName(key);
        if (!Known(column)) {
          add(line_number, "unknown column " + Quoted(key));
        } else if (!seen.insert(static_cast<std::int32_t>(column)).second) {
          add(line_number, "column " + Quoted(key) + " appears twice");
        }
        columns.push_back(column);
      }
      continue;
    }

    if (tokens.size() != columns.size()) {
      add(line_number, std::to_string(tokens.size()) + " values for " +
                           std::to_string(columns.size()) + " columns");
      continue;
    }
    for (std::size_t i = 0; i < tokens.size(); ++i) {
      if (Known(columns[i]) && !ValidValue(columns[i], tokens[i])) {
        add(line_number,
            Quoted(tokens[i]) + " is not a valid " + std::string(InstructionName(columns[i])));
      }
    }
  }
  if (!have_header) findings.push_back("the file holds no protocol (not even a header)");
  if (extra > 0) findings.push_back("and " + std::to_string(extra) + " more");
  return findings;
}

}  // namespace stravon::cli
