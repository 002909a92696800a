// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "device/operation_outcome.h"

namespace stravon {

class DeviceWorker;

// Said after a Read Device that found no set in the unit (never programmed,
// erased, or cleared by a Program Device that did not finish).
inline constexpr const char* kNoProtocolStoredText = "No protocol stored in the unit.";

// Reads the program image out of the unit byte by byte, with a progress
// window, and on success makes it the session's protocol.
Outcome ReadDevice(DeviceWorker& worker);

// Commits the stage view's working sequence, compiles it and writes the
// program image into the unit page by page, with a progress window.
Outcome ProgramDevice(DeviceWorker& worker);

// The progress callback of both transfers: sets the window's range on the
// first call (range > 0), then advances it by one step whatever the position.
// 0 without a window, -1 when the operator cancelled (or the session is
// closing), else 1.
int ReadProgress(int position, int range, DeviceWorker& worker);

}  // namespace stravon
