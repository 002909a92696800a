// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace stravon::cli {

// Ctrl-C (SIGINT), SIGTERM and SIGHUP only set a flag: the command in progress
// notices it, cancels as the Cancel button would, stops a jog, and ends with
// its own message. A second signal of the same kind ends the program at once.
void InstallInterruptHandler();
bool Interrupted();

}  // namespace stravon::cli
