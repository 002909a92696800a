// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace stravon::app {

// "Offset": explains what the offset is. Read-only text, no values.
class OffsetHelpDialog : public QDialog {
 public:
  explicit OffsetHelpDialog(QWidget* parent = nullptr);
};

}  // namespace stravon::app
