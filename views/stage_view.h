// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QWidget>

#include "protocol/test_set.h"
#include "ui/stage_model.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace stravon::views {

class OutputPane;
class ReportList;

// The test-sequence form of a document window: the list of sets with its
// Edit Set, Delete and Insert buttons, the offset, used-memory and total-time
// fields, and the output pane. A thin shell over StageModel, which it follows
// through the model's listener.
class StageView : public QWidget, private StageModel::Listener {
  Q_OBJECT

 public:
  // What the form needs from its window.
  struct Hooks {
    // The unit's state as an insertion reads it.
    std::function<StageUnitState()> unit_state;
    // Runs the set editor on `set`, showing `offset`; true on OK.
    std::function<bool(TestSet& set, double offset)> edit_set;
    // The "?" button.
    std::function<void()> offset_help;
  };

  StageView(StageModel& model, Hooks hooks, QWidget* parent = nullptr);
  ~StageView() override;
  StageView(const StageView&) = delete;
  StageView& operator=(const StageView&) = delete;

  StageModel& Model() { return model_; }
  ReportList& List() { return *list_; }
  OutputPane& Output() { return *output_; }
  QLineEdit& OffsetField() { return *offset_field_; }
  QLineEdit& UsedMemoryField() { return *used_memory_field_; }
  QLineEdit& TotalTimeField() { return *total_time_field_; }
  QPushButton& EditButton() { return *edit_button_; }
  QPushButton& DeleteButton() { return *delete_button_; }
  QPushButton& InsertAboveButton() { return *insert_above_button_; }
  QPushButton& InsertBelowButton() { return *insert_below_button_; }
  QToolButton& HelpButton() { return *help_button_; }

  // Insert Above and Below need the unit's settings for the new set's
  // values; until they are known the buttons are disabled and say why.
  void SetInsertAvailable(bool available);

  void EditSet();
  void DeleteSelected();
  void InsertAbove();
  void InsertBelow();

 signals:
  // Once, when the form is shown for the first time.
  void FirstShown();
  // The model changed (after the form has followed it), for views of the
  // same sequence elsewhere.
  void ModelChanged();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void RowsReset() override;
  void RowInserted(int row) override;
  void RowRemoved(int row) override;
  void RowChanged(int row) override;
  void FieldsChanged() override;

  void FillRow(int row);
  void FitColumns();

  StageModel& model_;
  Hooks hooks_;
  bool shown_ = false;

  ReportList* list_ = nullptr;
  OutputPane* output_ = nullptr;
  QLabel* total_time_label_ = nullptr;
  QLineEdit* offset_field_ = nullptr;
  QLineEdit* used_memory_field_ = nullptr;
  QLineEdit* total_time_field_ = nullptr;
  QToolButton* help_button_ = nullptr;
  QPushButton* edit_button_ = nullptr;
  QPushButton* delete_button_ = nullptr;
  QPushButton* insert_above_button_ = nullptr;
  QPushButton* insert_below_button_ = nullptr;
};

}  // namespace stravon::views
