// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QSize>

namespace stravon::views {

// The forms of the document window and the dialogs are laid out in dialog
// units; on screen one unit is 1.5 device-independent pixels across and 1.625
// down (Qt scales those to the screen's resolution), rounded half up.
int DialogUnitsX(int units);
int DialogUnitsY(int units);
QSize DialogUnitsSize(int width, int height);
// Both corners are rounded, so that neighbouring rectangles meet without a
// gap or an overlap.
QRect DialogUnitsRect(int x, int y, int width, int height);

}  // namespace stravon::views
