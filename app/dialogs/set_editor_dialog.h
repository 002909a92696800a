// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "protocol/test_set.h"
#include "ui/set_editor.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace stravon::app {

// "Set Parameter Editor": edits a copy of one set. OK checks the set against
// the minimums and the unit's limits; only a set that passes is handed back.
class SetEditorDialog : public QDialog {
 public:
  SetEditorDialog(const TestSet& set, const SetEditorLimits& limits, QWidget* parent = nullptr);

  // The edited set once the dialog ended with OK; before that, the set given.
  const TestSet& EditedSet() const { return set_; }

 private:
  SetEditorFields Typed() const;
  void Show(const SetEditorFields& fields);
  QWidget* Control(SetEditorField field) const;
  void ClickDoNot(bool stretch, bool ticked);
  void Ok();

  TestSet set_;
  const SetEditorLimits limits_;

  QComboBox* function_;
  QLineEdit* magnitude_;
  QComboBox* time_unit_;
  QLineEdit* stretch_;
  QCheckBox* do_not_stretch_;
  QLineEdit* hold_;
  QLineEdit* recovery_;
  QCheckBox* do_not_recover_;
  QLineEdit* rest_;
  QLineEdit* repetitions_;
};

}  // namespace stravon::app
