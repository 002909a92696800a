// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>

namespace stravon::cli {

// Parses the command line and runs the command; returns the exit status.
// Results go to `out`, everything else to `err`.
int RunCli(int argc, char** argv, std::FILE* out, std::FILE* err);

}  // namespace stravon::cli
