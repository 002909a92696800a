// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/dialog_support.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QString>
#include <QWidget>

namespace stravon::app {

void ShowWarning(QWidget* parent, const std::string& text) {
  QMessageBox::warning(parent, QString::fromLatin1(kMessageBoxCaption),
                       QString::fromStdString(text));
}

void FocusField(QWidget* field) {
  if (field == nullptr) return;
  field->setFocus(Qt::OtherFocusReason);
  if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
}

void SetShowOnly(QLineEdit* field, bool show_only) {
  field->setReadOnly(show_only);
  field->setFocusPolicy(show_only ? Qt::ClickFocus : Qt::StrongFocus);
}

}  // namespace stravon::app
