// SPDX-License-Identifier: GPL-3.0-or-later
#include "views/dialog_units.h"

namespace stravon::views {

int DialogUnitsX(int units) { return (units * 3 + 1) / 2; }

int DialogUnitsY(int units) { return (units * 13 + 4) / 8; }

QSize DialogUnitsSize(int width, int height) { return {DialogUnitsX(width), DialogUnitsY(height)}; }

QRect DialogUnitsRect(int x, int y, int width, int height) {
  return {DialogUnitsX(x), DialogUnitsY(y), DialogUnitsX(x + width) - DialogUnitsX(x),
          DialogUnitsY(y + height) - DialogUnitsY(y)};
}

}  // namespace stravon::views
