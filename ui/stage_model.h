// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/hardware_settings.h"
#include "protocol/finding.h"
#include "protocol/front_end.h"
#include "protocol/test_sequence.h"
#include "protocol/test_set.h"

namespace stravon {

// Magnitude, stretch, hold, recovery and rest lengths, repetitions.
inline constexpr int kStageColumnCount = 6;
using RowTexts = std::array<std::string, kStageColumnCount>;

// What an insertion reads of the document's unit at the moment it runs.
struct StageUnitState {
  bool settings_read = false;  // the hardware settings have been read from the unit
  int series_index = 0;        // 0 "P", 1 "R", 2 "W"
  float travel_soft_limit = 0.0f;
};

// The commit check of a sequence: sets at all, a length above 0, stretch
// positions within the travel soft limit and above 0 (each set moving what the
// unit will move with these settings), the unit's memory, sets the unit can
// run. Every failed check, in that order, each refusing; only "no sets" when
// there are none.
std::vector<Finding> CheckCommit(const TestSequence& sequence, const HardwareSettings& settings);

// The test-sequence form of a document window without its widgets: the
// working sequence the operator edits, the list rows that mirror it one for
// one, the total time, the used memory and the offset fields. The document's
// own sequence changes only through CommitSequence.
//
// Not thread-safe: a front end runs every call on its interface thread,
// including the ones the device worker asks for.
class StageModel {
 public:
  // Told about every change, after it is complete, so that a widget can follow.
  class Listener {
   public:
    virtual ~Listener() = default;
    virtual void RowsReset() {}
    virtual void RowInserted(int /*row*/) {}
    virtual void RowRemoved(int /*row*/) {}
    virtual void RowChanged(int /*row*/) {}
    virtual void FieldsChanged() {}
  };

  explicit StageModel(FrontEnd& front_end);

  void SetListener(Listener* listener) { listener_ = listener; }

  const TestSequence& WorkingSequence() const { return working_; }
  int RowCount() const { return static_cast<int>(rows_.size()); }
  // The cell texts of a row as last filled; `row` must be below RowCount().
  const RowTexts& Row(int row) const;

  std::int64_t TotalSeconds() const { return total_seconds_; }
  const std::string& TotalTimeText() const { return total_time_text_; }
  const std::string& TotalTimeLabelText() const { return total_time_label_text_; }
  double UsedMemory() const { return used_memory_; }
  const std::string& UsedMemoryText() const { return used_memory_text_; }
  double Offset() const { return offset_; }
  const std::string& OffsetText() const { return offset_text_; }

  // First showing of the window: loads the document's sequence, then shows
  // the offset and the used memory in general number format ("0", "12.5").
  void InitialUpdate(const TestSequence& document);

  // Fills the six cell texts of `row` from the working sequence.
  void FillRow(int row);
  // The cell texts of set i of `sequence`; repetitions "0" outside it.
  static RowTexts RowTextsOf(const TestSequence& sequence, int i);

  void UpdateTotalTime();
  // hh:mm:ss with at least two digits each; negative seconds show as 0.
  void ShowTotalTime(std::int64_t seconds);
  void UpdateUsedMemory();

  void RefreshFromDocument(const TestSequence& document);
  void RefreshSettings(const HardwareSettings& settings);
  // The device worker's status reports write the offset field only; the
  // offset member keeps the value RefreshSettings gave it.
  void ShowCurrentOffset(double offset_mm);

  // Edit Set. The set editor opens on the first selected row (nothing when no
  // row is selected), with a copy of its set and the offset as shown; on OK
  // the front end hands the edited set to ReplaceSet.
  std::optional<int> EditRow(const std::vector<int>& selected) const;
  TestSet SetForEditing(int row) const;
  double EditorOffset() const;
  void ReplaceSet(int row, const TestSet& edited);

  // Removes every selected row and its set; returns how many were removed.
  int Delete(const std::vector<int>& selected);

  // Insert a copy of a neighbour (first selected row for Above, last selected
  // or last row for Below). Returns the new row's index, or nothing when the
  // insertion was refused (with a warning) or the unit has not been read.
  std::optional<int> InsertAbove(const std::vector<int>& selected, const StageUnitState& unit);
  std::optional<int> InsertBelow(const std::vector<int>& selected, const StageUnitState& unit);

  // Checks the working sequence (CheckCommit); on success copies it into
  // `document` and returns 1, otherwise shows the first finding as a warning
  // and returns -1.
  int CommitSequence(const HardwareSettings& settings, TestSequence& document);

 private:
  std::optional<int> Insert(int template_row, int index, const StageUnitState& unit);
  void Warn(const std::string& text);
  void NotifyFieldsChanged();

  FrontEnd& front_end_;
  Listener* listener_ = nullptr;

  TestSequence working_;
  std::vector<RowTexts> rows_;
  std::int64_t total_seconds_ = 0;
  std::string total_time_text_;
  std::string total_time_label_text_ = "Total Time ";
  double used_memory_ = 0.0;
  std::string used_memory_text_;
  double offset_ = 0.0;
  std::string offset_text_;
};

}  // namespace stravon
