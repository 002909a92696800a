#include "cli/protocol_report.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <sstream>

#include "cli/protocol_lint.h"
#include "protocol/file_io.h"
#include "protocol/front_end.h"
#include "protocol/protocol_file.h"
#include "ui/set_editor.h"

namespace stravon::cli {
namespace {

// The stage's warnings, kept instead of shown.
class CollectingFrontEnd : public FrontEnd {
 public:
  MessageButton ShowMessageBox(MessageKind /*kind*/, const std::string& /*caption*/,
                               const std::string& text) override {
    messages += text;
    return MessageButton::kOk;
  }
  std::string messages;
};

const char* FieldLabel(SetEditorField field) {
  switch (field) {
    case SetEditorField::Function:
      return "Control Function";
    case SetEditorField::Magnitude:
      return "Stretch Magnitude";
    case SetEditorField::TimeUnit:
      return "Time Units";
    case SetEditorField::Stretch:
      return "Stretch Duration";
    case SetEditorField::Hold:
      return "Hold Duration";
    case SetEditorField::Recovery:
      return "Recovery Duration";
    case SetEditorField::Rest:
      return "Rest Duration";
    case SetEditorField::Repetitions:
      return "Repetitions";
  }
  return "";
}

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

bool ProtocolReport::Accepted() const {
  return sequence_accepted &&
         std::all_of(sets.begin(), sets.end(), [](const SetVerdict& v) { return v.accepted; });
}

std::vector<std::string> ProtocolReport::Refusals() const {
  std::vector<std::string> refusals;
  if (!sequence_accepted) refusals.push_back(TrimLineEnds(sequence_message));
  for (std::size_t i = 0; i < sets.size(); ++i) {
    if (!sets[i].accepted) {
      refusals.push_back("Set " + std::to_string(i + 1) + ": " + TrimLineEnds(sets[i].message));
    }
  }
  return refusals;
}

ProtocolReport CheckProtocol(const TestSequence& sequence, const HardwareSettings& settings) {
  ProtocolReport report;
  CollectingFrontEnd front_end;
  StageModel stage(front_end);
  stage.RefreshFromDocument(sequence);
  for (int row = 0; row < stage.RowCount(); ++row) report.rows.push_back(stage.Row(row));
  report.total_seconds = stage.TotalSeconds();
  report.total_time = stage.TotalTimeText();
  report.used_memory = stage.UsedMemory();
  report.used_memory_text = stage.UsedMemoryText();

  TestSequence committed;
  report.sequence_accepted = stage.CommitSequence(settings.TravelSoftLimit, committed) == 1;
  report.sequence_message = front_end.messages;

  const SetEditorLimits limits{settings.TravelSoftLimit, settings.MotorPitch};
  for (const TestSet& set : sequence.sets) {
    const SetEditorResult result = AcceptSetEditor(OpenSetEditor(set), set, limits);
    SetVerdict verdict;
    switch (result.outcome) {
      case SetEditorResult::Outcome::kAccepted:
        break;
      case SetEditorResult::Outcome::kRefused:
        verdict.accepted = false;
        verdict.message = result.message;
        break;
      case SetEditorResult::Outcome::kFieldError:
        verdict.accepted = false;
        verdict.message = std::string(FieldLabel(result.field)) + ": " + result.message;
        break;
    }
    report.sets.push_back(verdict);
  }
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
  out << "Sequence: "
      << (report.sequence_accepted
              ? "accepted"
              : "refused\n" + indent + Indented(report.sequence_message, indent))
      << "\n";
  for (std::size_t i = 0; i < report.sets.size(); ++i) {
    const SetVerdict& verdict = report.sets[i];
    out << "Set " << i + 1 << ": "
        << (verdict.accepted ? "accepted"
                             : "refused\n" + indent + Indented(verdict.message, indent))
        << "\n";
  }
  out << "\n"
      << (report.Accepted() ? "The protocol is accepted." : "The protocol is refused.") << "\n";
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
  json["sequence"] = {{"accepted", report.sequence_accepted},
                      {"message", TrimLineEnds(report.sequence_message)}};
  nlohmann::json sets = nlohmann::json::array();
  for (std::size_t i = 0; i < report.sets.size(); ++i) {
    sets.push_back({{"set", i + 1},
                    {"accepted", report.sets[i].accepted},
                    {"message", TrimLineEnds(report.sets[i].message)}});
  }
  json["sets"] = sets;
  json["accepted"] = report.Accepted();
  return json;
}

}  // namespace stravon::cli
