// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/protocol_report.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <sstream>

#include "protocol/file_io.h"
#include "protocol/front_end.h"
#include "protocol/protocol_file.h"
#include "ui/finding_text.h"

namespace stravon::cli {
namespace {

// Filling the rows shows nothing.
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

// The warnings of set `set`, in order.
std::vector<const Finding*> SetWarnings(const std::vector<Finding>& findings, std::size_t set) {
  std::vector<const Finding*> warnings;
  for (const Finding& finding : findings) {
    if (finding.severity == Severity::kWarns && finding.set == set) warnings.push_back(&finding);
  }
  return warnings;
}

constexpr const char* kColumnTitles[kStageColumnCount] = {
    "Magnitude", "Stretch Dur", "Hold Dur", "Recover Dur", "Rest Dur", "Repetitions"};

}  // namespace

bool LoadProtocolFile(const std::string& path, TestSequence& sequence, std::string* error,
                      std::vector<Finding>* findings) {
  std::string contents;
  if (!ReadProtocolText(path, &contents, error)) return false;
  std::vector<Finding> found = ReadProtocolContents(contents, ProtocolReading::kStrict, sequence);
  if (found.empty()) return true;
  *error = FileFindingsText(path, found);
  if (findings != nullptr) *findings = std::move(found);
  return false;
}

std::string RefusalText(const std::vector<Finding>& findings) {
  const auto refusal = std::find_if(findings.begin(), findings.end(), [](const Finding& f) {
    return f.severity == Severity::kRefuses;
  });
  return refusal == findings.end() ? std::string() : FindingText(*refusal);
}

std::string WarningsText(const std::vector<Finding>& findings) {
  std::string text = "Warning:  The set editor would not accept these sets as they will run:\n";
  for (const Finding& finding : findings) {
    if (finding.severity != Severity::kWarns) continue;
    const std::string set = finding.set ? std::to_string(*finding.set + 1) : "?";
    text += "Set " + set + ": " + TrimLineEnds(FindingText(finding)) + "\n";
  }
  return text;
}

nlohmann::json FindingsJson(const std::vector<Finding>& findings) {
  nlohmann::json list = nlohmann::json::array();
  for (const Finding& f : findings) {
    nlohmann::json json;
    json["rule"] = FindingRuleName(f.rule);
    json["severity"] = SeverityName(f.severity);
    json["set"] = f.set ? nlohmann::json(*f.set + 1) : nlohmann::json(nullptr);
    // A file's findings are about a column of the file.
    const std::string_view field =
        f.column != kNoColumn ? InstructionName(f.column) : FindingFieldName(f.field);
    json["field"] = field.empty() ? nlohmann::json(nullptr) : nlohmann::json(field);
    json["value"] = f.value;
    json["limit"] = f.limit ? nlohmann::json(*f.limit) : nlohmann::json(nullptr);
    if (f.lower) json["lower"] = *f.lower;
    if (f.line > 0) json["line"] = f.line;
    list.push_back(json);
  }
  return list;
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
  report.findings = JudgeProtocol(sequence, settings);
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
  const std::vector<Finding>& findings = report.findings;
  out << "Sequence: "
      << (report.Accepted() ? "accepted"
                            : "refused\n" + indent + Indented(RefusalText(findings), indent))
      << "\n";
  for (std::size_t i = 0; i < report.rows.size(); ++i) {
    out << "Set " << i + 1 << ": ";
    const std::vector<const Finding*> warnings = SetWarnings(findings, i);
    if (warnings.empty()) {
      out << "accepted\n";
      continue;
    }
    out << "warning";
    for (const Finding* warning : warnings) {
      out << "\n" << indent << Indented(FindingText(*warning), indent);
    }
    out << "\n";
  }
  out << "\n";
  if (!report.Accepted()) {
    out << "The protocol is refused.\n";
  } else if (report.HasWarnings()) {
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
  json["sequence"] = {{"accepted", report.Accepted()},
                      {"message", TrimLineEnds(RefusalText(report.findings))}};
  nlohmann::json sets = nlohmann::json::array();
  for (std::size_t i = 0; i < report.rows.size(); ++i) {
    nlohmann::json warnings = nlohmann::json::array();
    for (const Finding* warning : SetWarnings(report.findings, i)) {
      warnings.push_back(TrimLineEnds(FindingText(*warning)));
    }
    sets.push_back({{"set", i + 1}, {"warnings", warnings}});
  }
  json["sets"] = sets;
  json["accepted"] = report.Accepted();
  json["has_warnings"] = report.HasWarnings();
  json["findings"] = FindingsJson(report.findings);
  return json;
}

}  // namespace stravon::cli
