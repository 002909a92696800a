// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "views/dialog_units.h"

class QLineEdit;
class QWidget;

namespace stravon::app {

// The dialogs are laid out in the same units as the document window.
using views::DialogUnitsSize;
using views::DialogUnitsX;
using views::DialogUnitsY;

// Caption of the dialogs' message boxes: the program's name.
inline constexpr const char* kMessageBoxCaption = "Stravon";

// A modal warning box with an OK button, as a refused check shows it.
void ShowWarning(QWidget* parent, const std::string& text);

// After a field's prompt: the field gets the focus with its text selected,
// so that typing replaces what was refused.
void FocusField(QWidget* field);

// A field that shows a value nothing may change: read-only, so that it looks
// it, and left out of the Tab chain (a click still selects for copying).
void SetShowOnly(QLineEdit* field, bool show_only);

}  // namespace stravon::app
