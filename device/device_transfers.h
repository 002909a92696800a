// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "device/session_event.h"
#include "device/session_request.h"

namespace stravon {

class DeviceWorker;

// Reads the program image out of the unit byte by byte, with progress; a
// read that went through carries the image and the sets decoded from it.
FinishedEvent ReadDevice(DeviceWorker& worker);

// Compiles the request's sequence with its settings and writes the program
// image into the unit page by page, with progress; then, when asked, reads
// the program area back and compares it byte for byte.
FinishedEvent ProgramDevice(DeviceWorker& worker, const ProgramRequest& request);

}  // namespace stravon
