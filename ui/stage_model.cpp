// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/stage_model.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "device/device_set.h"
#include "device/program_image.h"
#include "device/saturating_cast.h"
#include "protocol/enumerations.h"
#include "protocol/number_text.h"
#include "ui/finding_text.h"

namespace stravon {
namespace {

constexpr const char* kCaption = "Stravon";

// "0%d" below 10, "%d" otherwise.
// From this many hours on, the total time is shown in days and hh:mm:ss.
constexpr std::int64_t kHoursBeforeDays = 10000;

std::string TwoDigits(std::int64_t value) {
  std::string text = std::to_string(value);
  return value < 10 ? "0" + text : text;
}

// The valid rows among `selected`, lowest first, each once.
std::vector<int> SortedSelection(const std::vector<int>& selected, int row_count) {
  std::vector<int> rows;
  for (int row : selected) {
    if (row >= 0 && row < row_count) rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

bool IsLength(double value) { return std::isfinite(value) && value >= 0.0; }

// A set can come from a protocol file with values the unit cannot run: the
// image has codes for four time units only, and a repetition count below 1
// would be stored as an unsigned count of billions. Returns the rule broken,
// or nothing.
std::optional<FindingRule> UnrunnableRule(const TestSet& set) {
  if (set.NumReps < 1) return FindingRule::kRepetitionsBelowOne;
  if (!IsLength(set.StretchDurationSec) || !IsLength(set.HoldTimeSec) ||
      !IsLength(set.RecoveryDurationSec) || !IsLength(set.RestTimeSec)) {
    return FindingRule::kDurationNotALength;
  }
  if (!UnitRunsTimeUnit(set.TimeUnits)) return FindingRule::kTimeUnitNotRun;
  if (!std::isfinite(set.XMagnitude)) return FindingRule::kMagnitudeNotANumber;
  return std::nullopt;
}

}  // namespace

StageModel::StageModel(FrontEnd& front_end) : front_end_(front_end) {}

const RowTexts& StageModel::Row(int row) const { return rows_.at(static_cast<std::size_t>(row)); }

void StageModel::InitialUpdate(const TestSequence& document) {
  RefreshFromDocument(document);
  // The form's first data exchange writes the members in general format.
  offset_text_ = FormatGeneral(offset_);
  used_memory_text_ = FormatGeneral(used_memory_);
  NotifyFieldsChanged();
}

RowTexts StageModel::RowTextsOf(const TestSequence& sequence, int i) {
  return {sequence.FunctionMagnitudeText(i), sequence.StretchDurationText(i),
          sequence.HoldDurationText(i),      sequence.RecoveryDurationText(i),
          sequence.RestDurationText(i),      std::to_string(sequence.Repetitions(i))};
}

void StageModel::FillRow(int row) {
  if (row < 0 || row >= RowCount()) return;
  rows_[static_cast<std::size_t>(row)] = RowTextsOf(working_, row);
  if (listener_) listener_->RowChanged(row);
}

void StageModel::UpdateTotalTime() {
  double sum = 0.0;
  for (int i = 0; i < static_cast<int>(working_.sets.size()); ++i) {
    sum += working_.SetDurationSeconds(i);
  }
  // Counted in 64 bits: a long protocol repeated two billion times runs
  // for longer than 2^31 seconds. A file may hold durations that are not
  // numbers, or too long even for that.
  total_seconds_ = TruncToInt64(std::floor(sum));
  ShowTotalTime(total_seconds_);
}

void StageModel::ShowTotalTime(std::int64_t seconds) {
  const std::int64_t s = std::max<std::int64_t>(seconds, 0);
  const std::int64_t hours = s / 3600;
  const std::string clock = TwoDigits((s / 60) % 60) + ":" + TwoDigits(s % 60);
  // Hours beyond four digits are hard to read: whole days are counted then.
  total_time_text_ = hours < kHoursBeforeDays
                         ? TwoDigits(hours) + ":" + clock
                         : std::to_string(hours / 24) + " d " + TwoDigits(hours % 24) + ":" + clock;
  NotifyFieldsChanged();
}

void StageModel::UpdateUsedMemory() {
  used_memory_ = UsedMemoryPercent(working_);
  used_memory_text_ = FormatFixed(used_memory_, 1);
  NotifyFieldsChanged();
}

void StageModel::RefreshFromDocument(const TestSequence& document) {
  rows_.clear();
  working_ = document;
  rows_.resize(working_.sets.size());
  for (int i = 0; i < RowCount(); ++i) {
    rows_[static_cast<std::size_t>(i)] = RowTextsOf(working_, i);
  }
  if (listener_) listener_->RowsReset();
  total_time_label_text_ = "Total Time";
  UpdateTotalTime();
  UpdateUsedMemory();
}

void StageModel::RefreshSettings(const HardwareSettings& settings) {
  for (int i = 0; i < RowCount(); ++i) FillRow(i);
  total_time_label_text_ = "Total Time";
  UpdateTotalTime();
  offset_ = static_cast<double>(settings.MinimumSpecimenSize);
  offset_text_ = FormatFixed(offset_, 2);
  UpdateUsedMemory();
}

void StageModel::ShowCurrentOffset(double offset_mm) {
  offset_text_ = FormatFixed(offset_mm, 2);
  // A tiny negative offset (an unprogrammed unit's) rounds to zero, unsigned.
  if (offset_text_ == "-0.00") offset_text_ = "0.00";
  NotifyFieldsChanged();
}

std::optional<int> StageModel::EditRow(const std::vector<int>& selected) const {
  const std::vector<int> rows = SortedSelection(selected, RowCount());
  if (rows.empty()) return std::nullopt;
  return rows.front();
}

TestSet StageModel::SetForEditing(int row) const {
  if (row < 0 || row >= static_cast<int>(working_.sets.size())) return TestSet{};
  return working_.sets[static_cast<std::size_t>(row)];
}

double StageModel::EditorOffset() const { return ParseLeadingDouble(offset_text_); }

void StageModel::ReplaceSet(int row, const TestSet& edited) {
  if (row < 0 || row >= static_cast<int>(working_.sets.size())) return;
  working_.sets[static_cast<std::size_t>(row)] = edited;
  FillRow(row);
  UpdateTotalTime();
  UpdateUsedMemory();
}

int StageModel::Delete(const std::vector<int>& selected) {
  const std::vector<int> rows = SortedSelection(selected, RowCount());
  // Removed lowest first: each removal moves the later selected rows up by one.
  int removed = 0;
  for (int original : rows) {
    const int row = original - removed;
    rows_.erase(rows_.begin() + row);
    working_.sets.erase(working_.sets.begin() + row);
    ++removed;
    if (listener_) listener_->RowRemoved(row);
    UpdateTotalTime();
    UpdateUsedMemory();
  }
  return removed;
}

std::optional<int> StageModel::InsertAbove(const std::vector<int>& selected,
                                           const StageUnitState& unit) {
  const std::vector<int> rows = SortedSelection(selected, RowCount());
  const int template_row = rows.empty() ? 0 : rows.front();
  return Insert(template_row, template_row, unit);
}

std::optional<int> StageModel::InsertBelow(const std::vector<int>& selected,
                                           const StageUnitState& unit) {
  const std::vector<int> rows = SortedSelection(selected, RowCount());
  const int template_row = rows.empty() ? RowCount() - 1 : rows.back();
  return Insert(template_row, template_row + 1, unit);
}

std::optional<int> StageModel::Insert(int template_row, int index, const StageUnitState& unit) {
  if (!unit.settings_read) return std::nullopt;
  // The list never takes more sets than the unit's set table holds.
  if (static_cast<std::size_t>(RowCount()) == kSetTableSize) {
    Warn("Maximum Sets Limit Reached");
    return std::nullopt;
  }

  TestSet set = SetForEditing(template_row);
  if (RowCount() == 0 && unit.series_index == 2) {
    set.XFunction = ControlFunction::Sinusoid;
    set.XMagnitude = 1.0;
    set.StretchDurationSec = 1.0;
    set.RecoveryDurationSec = 1.0;
  }
  set.XUnits = MeasureUnit::Millimetre;
  if (set.XMagnitude > static_cast<double>(unit.travel_soft_limit)) {
    set.XMagnitude = static_cast<double>(unit.travel_soft_limit * 0.5f);
  }

  // Against the stored, rounded percentage, as the operator sees it.
  if (static_cast<double>(SetImageBytes(set)) * 100.0 / static_cast<double>(kProgramImageSize) >
      100.0 - used_memory_) {
    Warn("Not Enough Memory Available\nTo Insert Another Set");
    return std::nullopt;
  }

  const int row = std::min(index, RowCount());
  rows_.insert(rows_.begin() + row, RowTexts{});
  working_.sets.insert(working_.sets.begin() + row, set);
  rows_[static_cast<std::size_t>(row)] = RowTextsOf(working_, row);
  if (listener_) listener_->RowInserted(row);
  UpdateTotalTime();
  UpdateUsedMemory();
  return row;
}

std::vector<Finding> CheckCommit(const TestSequence& sequence, const HardwareSettings& settings) {
  if (sequence.sets.empty()) return {MakeFinding(FindingRule::kNoSets)};

  std::vector<Finding> findings;
  double total = 0.0;
  for (int i = 0; i < static_cast<int>(sequence.sets.size()); ++i) {
    total += sequence.SetDurationSeconds(i);
  }
  if (total <= 0.0)
    findings.push_back(MakeFinding(FindingRule::kZeroLength, FindingField::kNone, total));

  // A set that does not recover leaves the specimen stretched, one that does
  // not stretch leaves it shorter. Each counts the millimetres the unit will
  // move, whatever unit the file gave: a percentage of the minimum specimen
  // size, and any other unit read as millimetres, as the image reads it.
  const auto travel_soft_limit = static_cast<double>(settings.TravelSoftLimit);
  double position = 0.0;
  double maximum = 0.0;
  double minimum = 0.0;
  for (const TestSet& set : sequence.sets) {
    const double magnitude = MagnitudeMillimetres(set, settings);
    if (set.RecoveryDurationSec == 0.0) {
      position += set.NumReps * magnitude;
    } else if (set.StretchDurationSec == 0.0) {
      position -= set.NumReps * magnitude;
    }
    maximum = std::max(maximum, position);
    minimum = std::min(minimum, position);
  }
  if (maximum > travel_soft_limit) {
    findings.push_back(MakeFinding(FindingRule::kPositionBeyondLimit, FindingField::kNone, maximum,
                                   travel_soft_limit));
  }
  if (minimum < 0.0) {
    findings.push_back(
        MakeFinding(FindingRule::kPositionBelowZero, FindingField::kNone, minimum, 0.0));
  }
  const double used_memory = UsedMemoryPercent(sequence);
  if (used_memory > 100.0) {
    findings.push_back(
        MakeFinding(FindingRule::kMemoryFull, FindingField::kNone, used_memory, 100.0));
  }

  for (std::size_t i = 0; i < sequence.sets.size(); ++i) {
    if (const std::optional<FindingRule> rule = UnrunnableRule(sequence.sets[i])) {
      Finding finding = MakeFinding(*rule);
      finding.set = i;
      findings.push_back(finding);
    }
  }
  return findings;
}

int StageModel::CommitSequence(const HardwareSettings& settings, TestSequence& document) {
  const std::vector<Finding> findings = CheckCommit(working_, settings);
  if (!findings.empty()) {
    Warn(FindingText(findings.front()));
    return -1;
  }
  document.sets = working_.sets;
  document.columns = working_.columns;
  return 1;
}

void StageModel::Warn(const std::string& text) {
  front_end_.ShowMessageBox(FrontEnd::MessageKind::kWarning, kCaption, text);
}

void StageModel::NotifyFieldsChanged() {
  if (listener_) listener_->FieldsChanged();
}

}  // namespace stravon
