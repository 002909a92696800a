// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace stravon::cli {

// What the protocol reader would pass over without a word: it matches values
// to columns by position across line ends and reads a value it does not
// understand as 0 or as an invalid name. A script that hands over a damaged
// file should hear about it instead. Each finding names its line; none for a
// file that reads as it looks (one set per line, every value of its column's
// kind, every column known once).
std::vector<std::string> LintProtocolText(std::string_view contents);

// A token in double quotes, as a message may show it: bytes that are not
// printable ASCII (and quotes and backslashes) as \xNN, and a long token cut
// short, with its length.
std::string Quoted(std::string_view token);

}  // namespace stravon::cli
