// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include <QSize>

class QWidget;

namespace stravon::app {

// The dialogs' forms are laid out in dialog units; on screen one unit is 1.5
// device-independent pixels across and 1.625 down (Qt scales those to the
// screen's resolution).
int DialogUnitsX(int units);
int DialogUnitsY(int units);
QSize DialogUnitsSize(int width, int height);

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
