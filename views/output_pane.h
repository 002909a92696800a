// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

#include <QPlainTextEdit>

namespace stravon::views {

// The pane in which a document window's operations and its device worker
// report. The operator may edit it; messages are added at the end.
class OutputPane : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit OutputPane(QWidget* parent = nullptr);

  // Adds `text` ("\n" line ends; carriage returns are dropped) at the end,
  // without touching the text already there, and shows the newest line.
  void AppendOutput(std::string_view text);
  void ClearOutput();

  // Line feeds appended since the pane was last cleared.
  int LineCount() const { return line_count_; }

 private:
  int line_count_ = 0;
  bool scroll_pending_ = false;
};

}  // namespace stravon::views
