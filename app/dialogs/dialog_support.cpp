// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/dialog_support.h"

#include <QFont>
#include <QLineEdit>
#include <QMessageBox>
#include <QString>
#include <QWidget>

namespace stravon::app {

void UseDialogFont(QWidget* dialog) {
  QFont font = dialog->font();
  font.setPointSize(8);
  dialog->setFont(font);
}

void ShowWarning(QWidget* parent, const std::string& text) {
  QMessageBox::warning(parent, QString::fromLatin1(kMessageBoxCaption),
                       QString::fromStdString(text));
}

void FocusField(QWidget* field) {
  if (field == nullptr) return;
  field->setFocus(Qt::OtherFocusReason);
  if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
}

}  // namespace stravon::app
