// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace stravon::app {

// "About Stravon": the program's picture, its version and a one-line notice.
class AboutDialog : public QDialog {
 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace stravon::app
