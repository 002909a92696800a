// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/protocol_judgement.h"

#include <algorithm>
#include <string_view>

#include "device/program_image.h"
#include "protocol/enumerations.h"
#include "protocol/front_end.h"
#include "ui/field_text.h"
#include "ui/set_editor.h"
#include "ui/stage_model.h"

namespace stravon {
namespace {

// The stage's warning, kept instead of shown.
class KeepingFrontEnd : public FrontEnd {
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

// The editor joins its messages into one text; each begins a line with
// "Error:  " and may run over several lines.
std::vector<std::string> SplitMessages(const std::string& text) {
  constexpr std::string_view kStart = "Error:  ";
  std::vector<std::string> messages;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t next = text.find(std::string("\n") + std::string(kStart), begin);
    next = next == std::string::npos ? text.size() : next + 1;
    messages.push_back(text.substr(begin, next - begin));
    begin = next;
  }
  return messages;
}

}  // namespace

bool ProtocolJudgement::HasWarnings() const {
  return std::any_of(set_warnings.begin(), set_warnings.end(),
                     [](const std::vector<std::string>& w) { return !w.empty(); });
}

std::vector<std::string> ProtocolJudgement::WarningLines() const {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < set_warnings.size(); ++i) {
    for (std::string text : set_warnings[i]) {
      while (!text.empty() && text.back() == '\n') text.pop_back();
      lines.push_back("Set " + std::to_string(i + 1) + ": " + text);
    }
  }
  return lines;
}

TestSet AsTheUnitRunsIt(const TestSet& set, const HardwareSettings& settings) {
  TestSet runs = set;
  runs.XMagnitude = MagnitudeMillimetres(set, settings);
  runs.XUnits = MeasureUnit::Millimetre;
  return runs;
}

std::vector<std::string> SetEditorFindings(const TestSet& set, const HardwareSettings& settings) {
  // The fields show six digits, which could move a value across a limit:
  // judged here is the value the editor would hold, in single precision, so
  // the texts carry all nine digits it has.
  SetEditorFields fields = OpenSetEditor(set);
  const auto exact = [](double value) { return FormatSignificant(NarrowToFloat(value), 9); };
  fields.magnitude = exact(set.XMagnitude);
  fields.hold = exact(set.HoldTimeSec);
  fields.rest = exact(set.RestTimeSec);
  if (!fields.do_not_stretch) fields.stretch = exact(set.StretchDurationSec);
  if (!fields.do_not_recover) fields.recovery = exact(set.RecoveryDurationSec);
  const SetEditorLimits limits{settings.TravelSoftLimit, settings.MotorPitch};
  const SetEditorResult result = AcceptSetEditor(fields, set, limits);
  switch (result.outcome) {
    case SetEditorResult::Outcome::kAccepted:
      return {};
    case SetEditorResult::Outcome::kRefused:
      return SplitMessages(result.message);
    case SetEditorResult::Outcome::kFieldError:
      break;
  }
  return {std::string(FieldLabel(result.field)) + ": " + result.message + "\n"};
}

ProtocolJudgement JudgeProtocol(const TestSequence& sequence, const HardwareSettings& settings) {
  ProtocolJudgement judgement;
  KeepingFrontEnd front_end;
  StageModel stage(front_end);
  stage.RefreshFromDocument(sequence);
  TestSequence committed;
  judgement.committable = stage.CommitSequence(settings, committed) == 1;
  judgement.refusal = front_end.messages;

  for (const TestSet& set : sequence.sets) {
    judgement.set_warnings.push_back(SetEditorFindings(AsTheUnitRunsIt(set, settings), settings));
  }
  return judgement;
}

}  // namespace stravon
