// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/simulation_notice.h"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include "app/document_window.h"
#include "app/main_window.h"

namespace stravon::app {
namespace {

constexpr int kWatchIntervalMs = 250;
constexpr const char* kToldProperty = "stravonSimulatedConnectionTold";

}  // namespace

QString SimulatedPaneText() { return "Simulated unit"; }

void ShowUnitIsSimulated(MainWindow& window, const QString& where) {
  auto* pane = new QLabel(SimulatedPaneText(), window.statusBar());
  pane->setToolTip("No hardware: the unit is simulated by this program (" + where + ")");
  pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  // Left of the lock indicators, which the window placed first.
  window.statusBar()->insertPermanentWidget(0, pane);

  // The worker writes its own lines when it connects; the note follows them
  // on every new connection, since a lost connection clears the pane.
  const std::string line = "Connected to a simulated unit (" + where.toStdString() +
                           "); no hardware is attached.\n";
  auto* watch = new QTimer(&window);
  QObject::connect(watch, &QTimer::timeout, &window, [&window, line] {
    for (DocumentWindow* document : window.Documents()) {
      const bool connected = document->Session().Connected();
      if (connected && !document->property(kToldProperty).toBool()) document->Front().AppendOutput(line);
      document->setProperty(kToldProperty, connected);
    }
  });
  watch->start(kWatchIntervalMs);
}

}  // namespace stravon::app
