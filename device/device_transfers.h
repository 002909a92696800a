#pragma once

namespace stravon {

class DeviceSession;

// Reads the program image out of the unit byte by byte, with a progress
// window, and on success makes it the document's protocol.
void ReadDevice(DeviceSession& document);

// Commits the stage view's working sequence, compiles it and writes the
// program image into the unit page by page, with a progress window.
void ProgramDevice(DeviceSession& document);

// The progress callback of both transfers: sets the window's range on the
// first call (range > 0), then advances it by one step whatever the position.
// 0 without a window, -1 when the operator cancelled (or the document is
// closing), else 1.
int ReadProgress(int position, int range, DeviceSession& document);

}  // namespace stravon
