#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "device/hardware_settings.h"

namespace stravon {

class DeviceSession;

// The connection check runs when more than this has passed since the last one.
inline constexpr std::chrono::milliseconds kConnectionCheckInterval{1000};
// Jog plus, jog minus and jog stop are carried out again this often while
// their code stays.
inline constexpr std::chrono::milliseconds kRepeatInterval{100};
// Pause between two position readings while a move runs.
inline constexpr std::chrono::milliseconds kMovePollInterval{20};

// Caption and text of the message boxes the device operations show.
inline constexpr const char* kMessageCaption = "Stravon";
inline constexpr const char* kDeviceNotDetectedMessage =
    "Stravon Device Not Detected.\nPlease ensure that the device is powered on and all cables "
    "are properly connected\n";

// The document's device worker: carries out the pending operations and checks
// the connection to the unit about once a second, until the code is 9. Between
// passes it sleeps until the next check, the next repetition of a jog code, or
// a new code. Returns 1.
int RunDeviceWorker(DeviceSession& document);

// The device link's status callback: shows the offset for the position the
// unit reported (kind 0; other kinds are ignored).
void StatusHandler(const std::string& text, int kind, DeviceSession& document);

// The positions a jog may reach: from `margin` steps below the minimum
// specimen size to `margin` steps beyond the travel soft limit.
struct JogLimits {
  std::int32_t lower = 0;
  std::int32_t upper = 0;
};
JogLimits ComputeJogLimits(const HardwareSettings& settings, std::int32_t home_position,
                           std::int32_t margin);

}  // namespace stravon
