// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/recovery_offer.h"

#include <string>

#include <QMessageBox>
#include <QPushButton>

#include "app/document_window.h"
#include "app/main_window.h"
#include "protocol/protocol_file.h"
#include "protocol/test_sequence.h"
#include "ui/recovery_store.h"

namespace stravon::app {

void OfferKeptProtocols(MainWindow& window, RecoveryStore& store) {
  for (const std::string& path : store.List()) {
    TestSequence protocol;
    std::string error;
    if (!ReadProtocolFile(path, protocol, &error)) {
      QMessageBox::warning(&window, "Stravon", QString::fromStdString(error));
      return;
    }
    QMessageBox box(QMessageBox::Question, "Stravon", kRecoveryQuestion, QMessageBox::NoButton,
                    &window);
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(QString::fromStdString(path));
    QPushButton* restore = box.addButton("Restore", QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QMessageBox::Discard);
    box.setDefaultButton(restore);
    box.exec();
    if (box.clickedButton() == restore) {
      window.NewDocument()->Restore(protocol);
      store.Claim(path);
    } else if (box.clickedButton() == discard) {
      store.Remove(path);
    } else {
      return;
    }
  }
}

}  // namespace stravon::app
