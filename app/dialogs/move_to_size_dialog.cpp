// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/move_to_size_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QVBoxLayout>

#include "app/dialogs/dialog_support.h"
#include "ui/move_to_size.h"

namespace stravon::app {
namespace {

QLineEdit* Edit(const char* name, const std::string& text, bool editable, QWidget* parent) {
  auto* edit = new QLineEdit(QString::fromStdString(text), parent);
  edit->setObjectName(QString::fromLatin1(name));
  SetShowOnly(edit, !editable);
  edit->setFixedWidth(DialogUnitsX(55));
  return edit;
}

}  // namespace

MoveToSizeDialog::MoveToSizeDialog(double current_offset, const HardwareSettings& settings,
                                   QWidget* parent)
    : QDialog(parent), settings_(settings) {
  setWindowTitle(QStringLiteral("Move to Size"));

  const MoveToSizeFields fields = OpenMoveToSize(current_offset, settings_);
  new_size_ = Edit("newSize", fields.new_size, true, this);
  minimum_size_ = Edit("minimumSize", fields.minimum_size, false, this);
  maximum_size_ = Edit("maximumSize", fields.maximum_size, false, this);

  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  form->setHorizontalSpacing(DialogUnitsX(6));
  form->setVerticalSpacing(DialogUnitsY(5));
  form->addRow(QStringLiteral("New Size"), new_size_);
  form->addRow(QStringLiteral("Minimum Size"), minimum_size_);
  form->addRow(QStringLiteral("Maximum Size"), maximum_size_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] { Ok(); });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  // As large as its contents need in the font and style in use.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->setContentsMargins(DialogUnitsX(10), DialogUnitsY(10), DialogUnitsX(10), DialogUnitsY(7));
  layout->addLayout(form);
  layout->addStretch(1);
  layout->addWidget(buttons);

  new_size_->setFocus();
  new_size_->selectAll();
}

void MoveToSizeDialog::Ok() {
  const MoveToSizeResult result =
      AcceptMoveToSize({new_size_->text().toStdString(), minimum_size_->text().toStdString(),
                        maximum_size_->text().toStdString()},
                       settings_);
  switch (result.outcome) {
    case MoveToSizeResult::Outcome::kFieldError:
      ShowWarning(this, result.message);
      FocusField(new_size_);
      return;
    case MoveToSizeResult::Outcome::kRefused:
      ShowWarning(this, result.message);
      return;
    case MoveToSizeResult::Outcome::kMove:
      target_ = result.target;
      accept();
      return;
  }
}

}  // namespace stravon::app
