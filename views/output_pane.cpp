// SPDX-License-Identifier: GPL-3.0-or-later
#include "views/output_pane.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

namespace stravon::views {

OutputPane::OutputPane(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Undo would keep every message the worker ever wrote.
  setUndoRedoEnabled(false);
}

void OutputPane::AppendOutput(std::string_view text) {
  QString converted;
  converted.reserve(static_cast<qsizetype>(text.size()));
  int line_feeds = 0;
  for (const QChar c : QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))) {
    // A carriage return would make a line break of its own here.
    if (c == u'\r') continue;
    if (c == u'\n') ++line_feeds;
    converted += c;
  }
  // Inserting at the end leaves the rest of the document alone, so a message
  // costs the same however long the pane has grown.
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(converted);
  line_count_ += line_feeds;
  // Scrolled once for a burst of messages, when the event loop next runs:
  // the scroll bar's maximum is only known after the new lines are laid out,
  // which would otherwise happen for every message.
  if (!scroll_pending_) {
    scroll_pending_ = true;
    QTimer::singleShot(0, this, [this] {
      scroll_pending_ = false;
      QScrollBar* bar = verticalScrollBar();
      bar->setValue(bar->maximum());
    });
  }
}

void OutputPane::ClearOutput() {
  clear();
  line_count_ = 0;
}

}  // namespace stravon::views
