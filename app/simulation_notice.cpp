// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/simulation_notice.h"

#include <variant>

#include <QLabel>
#include <QStatusBar>

#include "app/document_window.h"
#include "app/main_window.h"

namespace stravon::app {
namespace {}  // namespace

QString SimulatedPaneText() { return "Simulated unit"; }

void ShowUnitIsSimulated(MainWindow& window, const QString& where) {
  auto* pane = new QLabel(SimulatedPaneText(), window.statusBar());
  pane->setToolTip("No hardware: the unit is simulated by this program (" + where + ")");
  pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  // Left of the lock indicators, which the window placed first.
  window.statusBar()->insertPermanentWidget(0, pane);

  // The window writes its own lines when the unit connects; the note follows
  // them on every new connection, since a lost connection clears the pane.
  const std::string line =
      "Connected to a simulated unit (" + where.toStdString() + "); no hardware is attached.\n";
  const auto follow = [line](DocumentWindow* document) {
    QObject::connect(&document->Events(), &SessionEvents::Handled, document,
                     [document, line](const SessionEvent& event) {
                       if (std::holds_alternative<ConnectedEvent>(event)) {
                         document->Front().AppendOutput(line);
                       }
                     });
  };
  for (DocumentWindow* document : window.Documents()) follow(document);
  QObject::connect(&window, &MainWindow::DocumentAdded, &window, follow);
}

}  // namespace stravon::app
