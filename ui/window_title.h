// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "device/session_event.h"

namespace stravon {

// What names a document window: its file, or its number among the windows
// that started without one, and the unit it drives.
struct DocumentTitleParts {
  std::string file;         // the file last opened or saved (a path); empty when none
  int untitled_number = 1;  // "Untitled N" while there is no file
  UnitSnapshotPtr unit;     // null while no unit is connected
};

// The window's name alone: "cyclic_stretch.tmt", or "Untitled 2".
std::string DocumentName(const DocumentTitleParts& parts);

// The titles carry "[*]" where the unsaved marker goes; the window shows it
// while its document is modified. A document window:
// "cyclic_stretch.tmt[*] — P1-1 on ttyUSB0"; the main window, after the active
// document: "cyclic_stretch.tmt[*] — Stravon", or "Stravon" with none active.
std::string DocumentWindowTitle(const DocumentTitleParts& parts);
std::string MainWindowTitle(const DocumentTitleParts* active);

}  // namespace stravon
