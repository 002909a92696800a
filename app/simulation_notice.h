// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace stravon::app {

class MainWindow;

// Tells the operator that the unit is a simulated one: a permanent pane in
// the status bar, and a line in a document window's output pane each time
// its unit connects. `where` names the port, e.g. "ttyACM0 on /dev/pts/3".
void ShowUnitIsSimulated(MainWindow& window, const QString& where);

// The status-bar pane's text.
QString SimulatedPaneText();

}  // namespace stravon::app
