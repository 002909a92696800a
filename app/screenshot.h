// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

#include <QString>

namespace stravon::app {

class MainWindow;

// Saves `window` as a PNG at `path` once its active document's unit has
// connected and its settings were read, or once `give_up` has passed without
// that, and then ends the event loop: status 0, or 1 when the file could not
// be written (said on standard error).
void SaveScreenshotWhenConnected(MainWindow& window, const QString& path,
                                 std::chrono::milliseconds give_up);

}  // namespace stravon::app
