// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/hardware_settings_dialog.h"

#include <utility>

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QVBoxLayout>

#include "app/dialogs/dialog_support.h"

namespace stravon::app {
namespace {

// The unit holds the series name in three characters.
constexpr int kSeriesNameLength = 3;

QLineEdit* Edit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  return edit;
}

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(QString::fromLatin1(text), parent);
  button->setObjectName(QString::fromLatin1(name));
  // Enter belongs to the dialog (it closes it), not to the focused button.
  button->setAutoDefault(false);
  return button;
}

}  // namespace

HardwareSettingsDialog::HardwareSettingsDialog(const HardwareSettings& current,
                                               SettingsStore& settings, PostSettings post,
                                               RequestPending pending, QWidget* parent)
    : QDialog(parent),
      logic_(current, settings),
      post_(std::move(post)),
      pending_(std::move(pending)),
      series_name_(Edit("seriesName", this)),
      model_number_(Edit("modelNumber", this)),
      restore_defaults_(Button("Restore Defaults", "restoreDefaults", this)),
      offset_(Edit("offset", this)),
      soft_limit_(Edit("softLimit", this)),
      stroke_(Edit("stroke", this)),
      pitch_label_(new QLabel(QStringLiteral("Motor Pitch"), this)),
      pitch_(Edit("pitch", this)),
      program_(Button("Program", "program", this)),
      done_(Button("Done", "done", this)) {
  setWindowTitle(QStringLiteral("Hardware Advanced"));
  series_name_->setMaxLength(kSeriesNameLength);

  // Series name and model number side by side, each captioned above.
  auto* identity = new QGridLayout;
  identity->setHorizontalSpacing(DialogUnitsX(8));
  identity->setVerticalSpacing(DialogUnitsY(2));
  identity->addWidget(new QLabel(QStringLiteral("Series Name"), this), 0, 0);
  identity->addWidget(new QLabel(QStringLiteral("Model Number"), this), 0, 1);
  identity->addWidget(series_name_, 1, 0);
  identity->addWidget(model_number_, 1, 1);
  series_name_->setFixedWidth(DialogUnitsX(50));
  model_number_->setFixedWidth(DialogUnitsX(50));

  auto* top = new QHBoxLayout;
  top->addLayout(identity);
  top->addStretch(1);
  top->addWidget(restore_defaults_, 0, Qt::AlignTop);

  auto* values = new QGridLayout;
  values->setHorizontalSpacing(DialogUnitsX(8));
  values->setVerticalSpacing(DialogUnitsY(4));
  int row = 0;
  auto add_row = [&](QLabel* label, QLineEdit* field) {
    field->setFixedWidth(DialogUnitsX(90));
    values->addWidget(label, row, 0);
    values->addWidget(field, row, 1);
    ++row;
  };
  add_row(new QLabel(QStringLiteral("Offset (mm)"), this), offset_);
  add_row(new QLabel(QStringLiteral("Actuator Travel Soft Limit (mm)"), this), soft_limit_);
  add_row(new QLabel(QStringLiteral("Actuator Stroke (mm)"), this), stroke_);
  add_row(pitch_label_, pitch_);
  values->setColumnStretch(2, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(program_);
  buttons->addWidget(done_);

  auto* layout = new QVBoxLayout(this);
  // As large as its contents need in the font and style in use.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->setContentsMargins(DialogUnitsX(10), DialogUnitsY(8), DialogUnitsX(10), DialogUnitsY(7));
  layout->addLayout(top);
  layout->addSpacing(DialogUnitsY(8));
  layout->addLayout(values);
  layout->addStretch(1);
  layout->addLayout(buttons);

  const bool access = logic_.FactoryAccess();
  pitch_label_->setVisible(access);
  pitch_->setVisible(access);
  pitch_->setEnabled(access);
  SetShowOnly(series_name_, !access);
  SetShowOnly(model_number_, !access);
  SetShowOnly(stroke_, !access);

  connect(program_, &QPushButton::clicked, this, [this] { Program(); });
  connect(restore_defaults_, &QPushButton::clicked, this,
          [this] { Show(logic_.RestoreDefaults()); });
  connect(done_, &QPushButton::clicked, this, [this] {
    if (MayLeave()) reject();
  });

  Show(logic_.Fields());
  UpdateProgramButton();
}

void HardwareSettingsDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (MayLeave()) accept();
    return;
  }
  if (event->key() == Qt::Key_Escape) {
    if (MayLeave()) reject();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool HardwareSettingsDialog::MayLeave() {
  if (Typed() == shown_) return true;
  // A typed value is never dropped without a word.
  QMessageBox box(QMessageBox::Question, windowTitle(),
                  QStringLiteral("The hardware settings have been changed but not programmed.\n"
                                 "Program them into the unit before closing?"),
                  QMessageBox::NoButton, this);
  QPushButton* program = box.addButton(QStringLiteral("&Program"), QMessageBox::AcceptRole);
  QPushButton* discard = box.addButton(QMessageBox::Discard);
  box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(program);
  box.exec();
  return box.clickedButton() == discard || (box.clickedButton() == program && Program());
}

void HardwareSettingsDialog::closeEvent(QCloseEvent* event) {
  if (MayLeave()) {
    QDialog::closeEvent(event);
  } else {
    event->ignore();
  }
}

HardwareDialogFields HardwareSettingsDialog::Typed() const {
  return {series_name_->text().toStdString(), model_number_->text().toStdString(),
          offset_->text().toStdString(),      soft_limit_->text().toStdString(),
          stroke_->text().toStdString(),      pitch_->text().toStdString()};
}

void HardwareSettingsDialog::Show(const HardwareDialogFields& fields) {
  series_name_->setText(QString::fromStdString(fields.series_name));
  model_number_->setText(QString::fromStdString(fields.model_number));
  offset_->setText(QString::fromStdString(fields.offset));
  soft_limit_->setText(QString::fromStdString(fields.travel_soft_limit));
  stroke_->setText(QString::fromStdString(fields.actuator_stroke));
  pitch_->setText(QString::fromStdString(fields.motor_pitch));
  shown_ = Typed();
}

QLineEdit* HardwareSettingsDialog::Control(HardwareDialogField field) const {
  switch (field) {
    case HardwareDialogField::SeriesName:
      return series_name_;
    case HardwareDialogField::ModelNumber:
      return model_number_;
    case HardwareDialogField::Offset:
      return offset_;
    case HardwareDialogField::TravelSoftLimit:
      return soft_limit_;
    case HardwareDialogField::ActuatorStroke:
      return stroke_;
    case HardwareDialogField::MotorPitch:
      return pitch_;
  }
  return nullptr;
}

bool HardwareSettingsDialog::Program() {
  // One request at a time: the session would refuse a second as busy.
  if (pending_ && pending_()) return false;
  const HardwareProgramResult result = logic_.Program(Typed());
  switch (result.outcome) {
    case HardwareProgramResult::Outcome::kFieldError:
      ShowWarning(this, result.message);
      FocusField(Control(result.field));
      return false;
    case HardwareProgramResult::Outcome::kRefused:
      ShowWarning(this, result.message);
      return false;
    case HardwareProgramResult::Outcome::kPost:
      if (post_) post_(result.settings);
      shown_ = Typed();
      UpdateProgramButton();
      return true;
  }
  return false;
}

void HardwareSettingsDialog::UpdateProgramButton() {
  program_->setEnabled(!(pending_ && pending_()));
}

}  // namespace stravon::app
