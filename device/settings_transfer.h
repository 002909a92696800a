// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "device/hardware_settings.h"
#include "device/operation_outcome.h"

namespace stravon {

class DeviceWorker;

// Reads the unit's hardware settings block, on connecting, and gives it to the
// worker. Done when read and accepted; not connected when the port is not
// open; failed when a byte could not be read or the block is not one a unit
// was programmed with (the settings then stay unknown, and the next
// connection tries again). The outcome's operation is kNone.
Outcome ReadHardwareSettings(DeviceWorker& worker);

// Writes `settings` into the unit's settings block, reads the block back and,
// when it holds them, makes them the unit's current settings. A block read
// back with other values fails naming them (and the session takes what the
// unit holds, when the unit would accept it).
Outcome ProgramHardwareSettings(DeviceWorker& worker, const HardwareSettings& settings);

}  // namespace stravon
