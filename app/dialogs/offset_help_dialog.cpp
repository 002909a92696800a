// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/dialogs/offset_help_dialog.h"

#include <algorithm>

#include <QDialogButtonBox>
#include <QFont>
#include <QFontMetrics>
#include <QTextDocument>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QString>
#include <QVBoxLayout>

#include "app/dialogs/dialog_support.h"
#include "ui/offset_help.h"

namespace stravon::app {
namespace {

constexpr qreal kSmallestPointSize = 6.5;
constexpr qreal kPointSizeStep = 0.25;

}  // namespace

OffsetHelpDialog::OffsetHelpDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Offset"));
  UseDialogFont(this);
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

  // Without word wrap the longest line decides the width the text needs;
  // a slightly smaller font keeps every line in view instead of behind a
  // horizontal scroll bar.
  const QStringList lines = help.split(QLatin1Char('\n'));
  auto widest = [&lines](const QFont& font) {
    int width = 0;
    for (const QString& line : lines) {
      width = std::max(width, QFontMetrics(font).horizontalAdvance(line));
    }
    return width;
  };
  // The text's room within the fixed dialog (the edit is not laid out yet).
  const int room = width() - layout->contentsMargins().left() - layout->contentsMargins().right() -
                   2 * text->frameWidth() - text->verticalScrollBar()->sizeHint().width() -
                   2 * static_cast<int>(text->document()->documentMargin()) - 2;
  QFont font = text->font();
  while (widest(font) > room && font.pointSizeF() > kSmallestPointSize) {
    font.setPointSizeF(font.pointSizeF() - kPointSizeStep);
  }
  text->setFont(font);
  if (widest(font) <= room) text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

}  // namespace stravon::app
