// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/set_editor_dialog.h"

#include <string_view>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QVBoxLayout>

#include "app/dialogs/dialog_support.h"
#include "device/device_set.h"
#include "protocol/enumerations.h"

namespace stravon::app {
namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLineEdit* NumberEdit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setFixedWidth(DialogUnitsX(45));
  return edit;
}

}  // namespace

SetEditorDialog::SetEditorDialog(const TestSet& set, const SetEditorLimits& limits, QWidget* parent)
    : QDialog(parent),
      set_(set),
      limits_(limits),
      function_(new QComboBox(this)),
      magnitude_(NumberEdit("magnitude", this)),
      time_unit_(new QComboBox(this)),
      stretch_(NumberEdit("stretch", this)),
      do_not_stretch_(new QCheckBox(QStringLiteral("Do Not Stretch"), this)),
      hold_(NumberEdit("hold", this)),
      recovery_(NumberEdit("recovery", this)),
      do_not_recover_(new QCheckBox(QStringLiteral("Do Not Recover"), this)),
      rest_(NumberEdit("rest", this)),
      repetitions_(NumberEdit("repetitions", this)) {
  setWindowTitle(QStringLiteral("Set Parameter Editor"));

  function_->setObjectName(QStringLiteral("function"));
  for (std::string_view name : kSetEditorFunctions) function_->addItem(Text(name));
  time_unit_->setObjectName(QStringLiteral("timeUnit"));
  for (const UnitTimeUnit& entry : kUnitTimeUnits) {
    time_unit_->addItem(Text(TimeUnitName(entry.unit)));
  }
  do_not_stretch_->setObjectName(QStringLiteral("doNotStretch"));
  do_not_recover_->setObjectName(QStringLiteral("doNotRecover"));

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(DialogUnitsX(4));
  grid->setVerticalSpacing(DialogUnitsY(4));
  int row = 0;
  auto add_row = [&](const char* label, QWidget* field, QWidget* after = nullptr) {
    grid->addWidget(new QLabel(QString::fromLatin1(label), this), row, 0);
    grid->addWidget(field, row, 1);
    if (after != nullptr) grid->addWidget(after, row, 2);
    ++row;
  };
  // The lists span the last column too, which they leave empty: their
  // entries need more room than the number fields.
  auto add_list = [&](const char* label, QComboBox* list) {
    grid->addWidget(new QLabel(QString::fromLatin1(label), this), row, 0);
    grid->addWidget(list, row, 1, 1, 2, Qt::AlignLeft);
    ++row;
  };
  add_list("Control Function", function_);
  add_row("Stretch Magnitude", magnitude_, new QLabel(QStringLiteral("(mm)"), this));
  add_list("Time Units", time_unit_);
  add_row("Stretch Duration", stretch_, do_not_stretch_);
  add_row("Hold Duration", hold_);
  add_row("Recovery Duration", recovery_, do_not_recover_);
  add_row("Rest Duration ", rest_);
  add_row("Repetitions", repetitions_);
  grid->setColumnStretch(2, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] { Ok(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  // As large as its contents need in the font and style in use: a fixed
  // size clipped the check boxes' texts in larger fonts.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->setContentsMargins(DialogUnitsX(7), DialogUnitsY(8), DialogUnitsX(7), DialogUnitsY(7));
  layout->addLayout(grid);
  layout->addStretch(1);
  layout->addWidget(buttons);

  connect(do_not_stretch_, &QCheckBox::clicked, this,
          [this](bool ticked) { ClickDoNot(true, ticked); });
  connect(do_not_recover_, &QCheckBox::clicked, this,
          [this](bool ticked) { ClickDoNot(false, ticked); });

  Show(OpenSetEditor(set_));
}

SetEditorFields SetEditorDialog::Typed() const {
  SetEditorFields fields;
  fields.function = function_->currentIndex();
  fields.magnitude = magnitude_->text().toStdString();
  fields.stretch = stretch_->text().toStdString();
  fields.hold = hold_->text().toStdString();
  fields.recovery = recovery_->text().toStdString();
  fields.rest = rest_->text().toStdString();
  fields.repetitions = repetitions_->text().toStdString();
  fields.time_unit = time_unit_->currentIndex();
  fields.do_not_stretch = do_not_stretch_->isChecked();
  fields.do_not_recover = do_not_recover_->isChecked();
  return fields;
}

void SetEditorDialog::Show(const SetEditorFields& fields) {
  // An index of kNoSelection leaves the list without a selected entry.
  function_->setCurrentIndex(fields.function);
  magnitude_->setText(QString::fromStdString(fields.magnitude));
  stretch_->setText(QString::fromStdString(fields.stretch));
  hold_->setText(QString::fromStdString(fields.hold));
  recovery_->setText(QString::fromStdString(fields.recovery));
  rest_->setText(QString::fromStdString(fields.rest));
  repetitions_->setText(QString::fromStdString(fields.repetitions));
  time_unit_->setCurrentIndex(fields.time_unit);
  do_not_stretch_->setChecked(fields.do_not_stretch);
  do_not_recover_->setChecked(fields.do_not_recover);
  stretch_->setEnabled(!fields.do_not_stretch);
  recovery_->setEnabled(!fields.do_not_recover);
}

QWidget* SetEditorDialog::Control(SetEditorField field) const {
  switch (field) {
    case SetEditorField::Function:
      return function_;
    case SetEditorField::Magnitude:
      return magnitude_;
    case SetEditorField::TimeUnit:
      return time_unit_;
    case SetEditorField::Stretch:
      return stretch_;
    case SetEditorField::Hold:
      return hold_;
    case SetEditorField::Recovery:
      return recovery_;
    case SetEditorField::Rest:
      return rest_;
    case SetEditorField::Repetitions:
      return repetitions_;
  }
  return nullptr;
}

void SetEditorDialog::ClickDoNot(bool stretch, bool ticked) {
  SetEditorFields fields = Typed();
  if (stretch) {
    SetDoNotStretch(fields, ticked);
  } else {
    SetDoNotRecover(fields, ticked);
  }
  Show(fields);
}

void SetEditorDialog::Ok() {
  const SetEditorResult result = AcceptSetEditor(Typed(), set_, limits_);
  switch (result.outcome) {
    case SetEditorResult::Outcome::kFieldError:
      ShowWarning(this, result.message);
      FocusField(Control(result.field));
      return;
    case SetEditorResult::Outcome::kRefused:
      ShowWarning(this, result.message);
      return;
    case SetEditorResult::Outcome::kAccepted:
      set_ = result.set;
      accept();
      return;
  }
}

}  // namespace stravon::app
