// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/protocol_report.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <sstream>

#include "cli/protocol_lint.h"
#include "protocol/file_io.h"
#include "protocol/front_end.h"
#include "protocol/protocol_file.h"

namespace stravon::cli {
namespace {

// Filling the rows shows nothing; the judgement keeps the commit's message.
class NoBoxes : public FrontEnd {
 public:
  MessageButton ShowMessageBox(MessageKind /*kind*/, const std::string& /*caption*/,
                               const std::string& /*text*/) override {
    return MessageButton::kOk;
  }
};

std::string TrimLineEnds(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// Continuation lines of a multi-line message, indented under their first.
std::string Indented(const std::string& text, const std::string& indent) {
  std::string out;
  for (char c : TrimLineEnds(text)) {
    out += c;
    if (c == '\n') out += indent;
  }
  return out;
}

constexpr const char* kColumnTitles[kStageColumnCount] = {
    "Magnitude", "Stretch Dur", "Hold Dur", "Recover Dur", "Rest Dur", "Repetitions"};

}  // namespace

bool LoadProtocolFile(const std::string& path, TestSequence& sequence, std::string* error) {
  std::string contents;
  if (!ReadProtocolText(path, &contents, error)) return false;
  const std::vector<std::string> findings = LintProtocolText(contents);
  if (!findings.empty()) {
    std::string text = path + " is not a well-formed protocol file:";
    for (const std::string& finding : findings) text += "\n  " + finding;
    *error = text;
    return false;
  }
  std::istringstream in(contents);
  ReadProtocol(in, sequence);
  return true;
}

std::string WarningsText(const ProtocolJudgement& judgement) {
  std::string text = "Warning:  The set editor would not accept these sets as they will run:\n";
  for (const std::string& line : judgement.WarningLines()) text += line + "\n";
  return text;
}

ProtocolReport CheckProtocol(const TestSequence& sequence, const HardwareSettings& settings) {
  ProtocolReport report;
  NoBoxes front_end;
  StageModel stage(front_end);
  stage.RefreshFromDocument(sequence);
  for (int row = 0; row < stage.RowCount(); ++row) report.rows.push_back(stage.Row(row));
  report.total_seconds = stage.TotalSeconds();
  report.total_time = stage.TotalTimeText();
  report.used_memory = stage.UsedMemory();
  report.used_memory_text = stage.UsedMemoryText();
  report.judgement = JudgeProtocol(sequence, settings);
  return report;
}

std::string JsonText(const nlohmann::json& json) {
  return json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string ShortText(float value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

nlohmann::json ShortNumber(float value) { return std::strtod(ShortText(value).c_str(), nullptr); }

std::string ReportText(const ProtocolReport& report, const HardwareSettings& settings,
                       const std::string& settings_source) {
  std::ostringstream out;
  out << "Hardware settings (" << settings_source << "): motor pitch "
      << ShortText(settings.MotorPitch) << " mm, travel soft limit "
      << ShortText(settings.TravelSoftLimit) << " mm, minimum specimen size "
      << ShortText(settings.MinimumSpecimenSize) << " mm\n\n";

  // Columns as wide as their widest cell.
  std::size_t widths[kStageColumnCount];
  for (int c = 0; c < kStageColumnCount; ++c) {
    widths[c] = std::char_traits<char>::length(kColumnTitles[c]);
    for (const RowTexts& row : report.rows) widths[c] = std::max(widths[c], row[c].size());
  }
  const std::string set_title = "Set";
  const std::size_t set_width =
      std::max(set_title.size(), std::to_string(report.rows.size()).size());
  const auto cell = [](const std::string& text, std::size_t width) {
    return text + std::string(width - text.size() + 2, ' ');
  };
  std::string header = cell(set_title, set_width);
  for (int c = 0; c < kStageColumnCount; ++c) header += cell(kColumnTitles[c], widths[c]);
  while (!header.empty() && header.back() == ' ') header.pop_back();
  out << header << "\n";
  for (std::size_t r = 0; r < report.rows.size(); ++r) {
    std::string line = cell(std::to_string(r + 1), set_width);
    for (int c = 0; c < kStageColumnCount; ++c) line += cell(report.rows[r][c], widths[c]);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out << line << "\n";
  }
  if (report.rows.empty()) out << "(no sets)\n";

  out << "\nTotal Time: " << report.total_time << "\n";
  out << "Used Memory (%): " << report.used_memory_text << "\n\n";

  const std::string indent = "    ";
  const ProtocolJudgement& judgement = report.judgement;
  out << "Sequence: "
      << (judgement.committable ? "accepted"
                                : "refused\n" + indent + Indented(judgement.refusal, indent))
      << "\n";
  for (std::size_t i = 0; i < judgement.set_warnings.size(); ++i) {
    out << "Set " << i + 1 << ": ";
    if (judgement.set_warnings[i].empty()) {
      out << "accepted\n";
      continue;
    }
    out << "warning";
    for (const std::string& warning : judgement.set_warnings[i]) {
      out << "\n" << indent << Indented(warning, indent);
    }
    out << "\n";
  }
  out << "\n";
  if (!judgement.committable) {
    out << "The protocol is refused.\n";
  } else if (judgement.HasWarnings()) {
    out << "The protocol is accepted, with warnings: the unit runs the sets as compiled, which "
           "is not always as composed.\n";
  } else {
    out << "The protocol is accepted.\n";
  }
  return out.str();
}

nlohmann::json ReportJson(const ProtocolReport& report, const HardwareSettings& settings,
                          const std::string& settings_source) {
  nlohmann::json json;
  json["settings"] = {{"source", settings_source},
                      {"motor_pitch_mm", ShortNumber(settings.MotorPitch)},
                      {"travel_soft_limit_mm", ShortNumber(settings.TravelSoftLimit)},
                      {"minimum_specimen_size_mm", ShortNumber(settings.MinimumSpecimenSize)}};
  nlohmann::json rows = nlohmann::json::array();
  for (const RowTexts& row : report.rows) {
    nlohmann::json cells = nlohmann::json::object();
    for (int c = 0; c < kStageColumnCount; ++c) cells[kColumnTitles[c]] = row[c];
    rows.push_back(cells);
  }
  json["rows"] = rows;
  json["total_time"] = report.total_time;
  json["total_seconds"] = report.total_seconds;
  json["used_memory_percent"] = report.used_memory;
  const ProtocolJudgement& judgement = report.judgement;
  json["sequence"] = {{"accepted", judgement.committable},
                      {"message", TrimLineEnds(judgement.refusal)}};
  nlohmann::json sets = nlohmann::json::array();
  for (std::size_t i = 0; i < judgement.set_warnings.size(); ++i) {
    nlohmann::json warnings = nlohmann::json::array();
    for (const std::string& warning : judgement.set_warnings[i]) {
      warnings.push_back(TrimLineEnds(warning));
    }
    sets.push_back({{"set", i + 1}, {"warnings", warnings}});
  }
  json["sets"] = sets;
  json["accepted"] = judgement.committable;
  json["has_warnings"] = judgement.HasWarnings();
  return json;
}

}  // namespace stravon::cli
