// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace stravon {

// The text of the offset help dialog, shown without word wrap: nine lines,
// two empty lines after the sixth. Lines 7 and 8 keep their trailing blank.
inline constexpr std::string_view kOffsetHelpText =
    "Offset is a distance that controls the amount of actuator retraction after\r\n"
    "a reset (when the push button switch on the front of the control unit is\r\n"
    "pressed and held for 5 seconds).  During a reset the actuator fully\r\n"
    "extends and then retracts a small amount.  Offset defines the amount of\r\n"
    "any further actuator retraction and has the effect of increasing the\r\n"
    "resulting attachment separation.  The default value for offset is zero.\r\n\r\n\r\n"
    "The Offset distance can be changed by selecting Advanced -> Settings \r\n"
    "from the Hardware menu.  Programming a new offset value will result \r\n"
    "that offset value being used for all subsequent tests.\r\n";

}  // namespace stravon
