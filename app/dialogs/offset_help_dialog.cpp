// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/offset_help_dialog.h"

#include <algorithm>

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QString>
#include <QTextDocument>
#include <QVBoxLayout>

#include "app/dialogs/dialog_support.h"
#include "ui/offset_help.h"

namespace stravon::app {
OffsetHelpDialog::OffsetHelpDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Offset"));

  auto* text = new QPlainTextEdit(this);
  text->setObjectName(QStringLiteral("helpText"));
  text->setReadOnly(true);
  // The lines are broken where the text means them to be.
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  // The edit shows "\n" line ends; the text carries CR LF.
  QString help =
      QString::fromLatin1(kOffsetHelpText.data(), static_cast<qsizetype>(kOffsetHelpText.size()));
  help.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text->setPlainText(help);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->setContentsMargins(DialogUnitsX(7), DialogUnitsY(7), DialogUnitsX(7), DialogUnitsY(7));
  layout->addWidget(text, 1);
  layout->addWidget(buttons);
  buttons->button(QDialogButtonBox::Ok)->setFocus();

  // Without word wrap the longest line decides the width the text needs:
  // the edit asks for every line in full, in whatever font is in use.
  const QStringList lines = help.split(QLatin1Char('\n'));
  int widest = 0;
  for (const QString& line : lines) {
    widest = std::max(widest, text->fontMetrics().horizontalAdvance(line));
  }
  const int frame = 2 * (text->frameWidth() + static_cast<int>(text->document()->documentMargin()));
  text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  text->setMinimumSize(widest + frame + text->verticalScrollBar()->sizeHint().width() + 2,
                       static_cast<int>(lines.size()) * text->fontMetrics().lineSpacing() + frame);
}

}  // namespace stravon::app
