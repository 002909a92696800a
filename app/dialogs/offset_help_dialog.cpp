#include "app/dialogs/offset_help_dialog.h"

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QVBoxLayout>

#include "app/dialogs/dialog_support.h"
#include "protocol/ui/offset_help.h"

namespace stravon::app {

OffsetHelpDialog::OffsetHelpDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Offset"));
  setFixedSize(DialogUnitsSize(280, 150));

  auto* text = new QPlainTextEdit(this);
  text->setObjectName(QStringLiteral("helpText"));
  text->setReadOnly(true);
  // The lines are broken where the text means them to be.
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  // The edit shows "\n" line ends; the text carries CR LF.
  QString help = QString::fromLatin1(kOffsetHelpText.data(),
                                     static_cast<qsizetype>(kOffsetHelpText.size()));
  help.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text->setPlainText(help);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(DialogUnitsX(7), DialogUnitsY(7), DialogUnitsX(7), DialogUnitsY(7));
  layout->addWidget(text, 1);
  layout->addWidget(buttons);
  buttons->button(QDialogButtonBox::Ok)->setFocus();
}

}  // namespace stravon::app
