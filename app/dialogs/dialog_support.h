// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "views/dialog_units.h"

class QWidget;

namespace stravon::app {

// The dialogs are laid out in the same units as the document window.
using views::DialogUnitsSize;
using views::DialogUnitsX;
using views::DialogUnitsY;

// The dialogs' forms are sized for an 8-point font; a larger system font
// would not fit them.
void UseDialogFont(QWidget* dialog);

// Caption of the dialogs' message boxes: the program's name.
inline constexpr const char* kMessageBoxCaption = "Stravon";

// A modal warning box with an OK button, as a refused check shows it.
void ShowWarning(QWidget* parent, const std::string& text);

// After a field's prompt: the field gets the focus with its text selected,
// so that typing replaces what was refused.
void FocusField(QWidget* field);

}  // namespace stravon::app
