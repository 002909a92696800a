// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QObject>
#include <QString>
#include <QTimer>

namespace stravon::app {

// Chooses `path` in an open file dialog and accepts it, as a person typing
// the name would.
inline void ChooseFile(QFileDialog& dialog, const QString& path) {
  const auto choose = [&dialog, path] {
    // Typed: selectFile() leaves the name field empty now and then while the
    // dialog still reads its folder.
    if (auto* name = dialog.findChild<QLineEdit*>("fileNameEdit")) {
      name->setText(path);
    } else {
      dialog.selectFile(path);
    }
    // QFileDialog hides its accept(); the dialog's own one runs all the same.
    static_cast<QDialog&>(dialog).accept();
  };
  // The dialog reads its folder on a thread of its own and may take the
  // typed name back when that ends: until it closes, choose again.
  auto* retry = new QTimer(&dialog);
  QObject::connect(retry, &QTimer::timeout, &dialog, choose);
  retry->start(50);
  choose();
}

}  // namespace stravon::app
