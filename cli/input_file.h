// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "cli/console.h"

namespace stravon::cli {

// A file a command reads whole (a settings backup, a program image): capped
// as protocol files are, so that /dev/zero or a huge file is refused at once
// instead of filling memory. False after the reason, naming the file and the
// limit, was reported.
bool ReadInputFile(Console& console, const std::string& path, std::string* contents);

}  // namespace stravon::cli
