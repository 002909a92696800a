#pragma once

#include "device/hardware_settings.h"

namespace stravon {

class DeviceSession;

// Reads the unit's hardware settings block into the document, on connecting.
// 0 when the settings were read already, -1 when the port is not open or the
// block was not accepted (the document then stays as it was, and the next
// connection tries again), 1 when read and accepted.
int ReadHardwareSettings(DeviceSession& document);

// Writes `settings` into the unit's settings block and, when every command
// succeeded, makes them the document's current settings.
void ProgramHardwareSettings(DeviceSession& document, const HardwareSettings& settings);

}  // namespace stravon
